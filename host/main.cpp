// Program entry of the saver.
#include "host/saver_framework.h"

// The saver's application class takes the framework's hooks; until it is
// built, the framework runs with its own defaults.
int WinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    CSaverFramework saver;
    saver.Create(instance);
    return saver.Run();
}

int main(int argc, char** argv) {
    tessaloom::SetCommandLineFromArgv(argc, argv);
    return WinMain(GetModuleHandleW(nullptr), nullptr, GetCommandLineW(), SW_SHOWDEFAULT);
}
