// Program entry of the saver.
#include "host/scene_saver.h"

int WinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    DocumentSceneBackend scenes;
    SetSceneBackend(&scenes);
    CSceneSaver saver;
    saver.Create(instance);
    const int result = saver.Run();
    SetSceneBackend(nullptr);
    return result;
}

int main(int argc, char** argv) {
    tessaloom::MapLargeBlocksFromTheSystem();
    tessaloom::SetCommandLineFromArgv(argc, argv);
    return WinMain(GetModuleHandleW(nullptr), nullptr, GetCommandLineW(), SW_SHOWDEFAULT);
}
