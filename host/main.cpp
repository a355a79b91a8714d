// Program entry of the saver.
#include "host/scene_saver.h"

int WinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    CSceneSaver saver;
    saver.Create(instance);
    return saver.Run();
}

int main(int argc, char** argv) {
    tessaloom::host::SetProcessCommandLine(argc, argv);
    return WinMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
}
