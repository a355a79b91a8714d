// MessageBoxW: a GTK message dialog when a display is there; without one the
// caption and text go to stderr and the box answers as if dismissed.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/types.h"

// Buttons.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
// Icons.
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Modal: returns when the person answers.  An owner that is a dialog is
// disabled until then, and the box shows above it, centred on it.  Without a display the answer is
// IDOK for MB_OK, else the cancelling one (IDCANCEL, or IDNO for MB_YESNO),
// so nothing is agreed to that nobody saw.  0 for a button set not listed.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

namespace tessaloom::test {

struct ShownMessageBox {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
    bool ownerDisabled;  // the owner is a dialog, and it was disabled when the box came up
};
// Every message box of the process, in order.
std::vector<ShownMessageBox>& ShownMessageBoxes();
// True: message boxes take the path without a display even when one is there.
void SetHeadlessMessageBoxes(bool headless);

}  // namespace tessaloom::test
