// Framework operations whose real bodies come with the error box.  These
// definitions are weak: the files that implement those parts replace them at
// link time.  Until then each one fails loudly where the saver relies on it.
#include <cstdio>

#include "host/saver_framework.h"
#include "platform/win32/strings.h"

#define TESSALOOM_PENDING __attribute__((weak))

TESSALOOM_PENDING void CSaverFramework::PaintErrorBox(HWND, HDC) {}

TESSALOOM_PENDING void CSaverFramework::GetErrorText(HRESULT, WCHAR* buffer, int capacity) {
    if (buffer && capacity > 0) buffer[0] = 0;
}

TESSALOOM_PENDING void CSaverFramework::AnimateErrorBox() {
    static bool told = false;
    if (!told) {
        told = true;
        std::fprintf(stderr, "tessaloom: error 0x%08X (the error box is not part of this build)\n",
                     static_cast<unsigned>(errorCode));
        Cleanup3D();
    }
}

TESSALOOM_PENDING void CSaverFramework::ShowError(HRESULT code) {
    WCHAR text[400] = {};
    GetErrorText(code, text, 400);
    std::fprintf(stderr, "tessaloom: error 0x%08X %s\n", static_cast<unsigned>(code), tessaloom::Utf16ToUtf8(text).c_str());
}
