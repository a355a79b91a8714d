// Dialog boxes and their controls: the modal dialog manager and the common
// controls the saver's templates use.
//
// A dialog is built from a compiled template (rc_dialog.h) into one model of
// its controls; two views show that model.  With a display, a GTK 3 window
// laid out from the template's dialog units with the system font's metrics;
// without one (or when a test asks for it) a headless view in which a test
// drives the controls through dialog_hooks.h, as a person would click.  The
// dialog procedure sees the same messages either way.
//
// Dialog and control handles are HWNDs: SendMessageW, SetWindowTextW,
// GetWindowTextW, IsWindow, IsWindowVisible and GetParent accept them.
#pragma once

#include "platform/win32/messages.h"
#include "platform/win32/types.h"

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// Messages.
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT DM_GETDEFID = WM_USER + 0;

// Buttons.
constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_CHECKBOX = 0x2;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_RADIOBUTTON = 0x4;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_TYPEMASK = 0xF;
constexpr WORD BN_CLICKED = 0;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_CLICK = 0x00F5;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

// Statics.
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_RIGHT = 0x2;
constexpr DWORD SS_TYPEMASK = 0x1F;
constexpr DWORD SS_NOPREFIX = 0x80;  // "&" is shown as it stands: no mnemonic
constexpr DWORD SS_CENTERIMAGE = 0x200;

// Window styles a template gives its controls.
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;

// The drop-down list combo box.
constexpr DWORD CBS_DROPDOWNLIST = 0x3;
constexpr WORD CBN_SELCHANGE = 1;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr LRESULT CB_ERR = -1;

// The tab control.
#define WC_TABCONTROLW u"SysTabControl32"
struct TCITEMW {
    UINT mask;
    DWORD dwState;
    DWORD dwStateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
};
constexpr UINT TCIF_TEXT = 0x0001;
constexpr UINT TCIF_IMAGE = 0x0002;
constexpr UINT TCM_GETITEMCOUNT = 0x1304;
constexpr UINT TCM_GETCURSEL = 0x130B;
constexpr UINT TCM_SETCURSEL = 0x130C;
constexpr UINT TCM_GETCURFOCUS = 0x132F;
constexpr UINT TCM_SETCURFOCUS = 0x1330;
constexpr UINT TCM_GETITEMW = 0x133C;
constexpr UINT TCM_INSERTITEMW = 0x133E;
constexpr UINT TCN_SELCHANGING = static_cast<UINT>(-552);
constexpr UINT TCN_SELCHANGE = static_cast<UINT>(-551);

struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};

// The trackbar.
#define TRACKBAR_CLASSW u"msctls_trackbar32"
constexpr DWORD TBS_AUTOTICKS = 0x1;
constexpr DWORD TBS_VERT = 0x2;
constexpr DWORD TBS_LEFT = 0x4;  // TBS_TOP on a horizontal trackbar
constexpr DWORD TBS_BOTH = 0x8;
constexpr DWORD TBS_NOTICKS = 0x10;
constexpr UINT TBM_GETPOS = WM_USER + 0;
constexpr UINT TBM_GETRANGEMIN = WM_USER + 1;
constexpr UINT TBM_GETRANGEMAX = WM_USER + 2;
constexpr UINT TBM_SETPOS = WM_USER + 5;
constexpr UINT TBM_SETRANGE = WM_USER + 6;
constexpr UINT TBM_SETTICFREQ = WM_USER + 20;
constexpr WORD TB_THUMBPOSITION = 4;
constexpr WORD TB_ENDTRACK = 8;

// Common controls.
struct INITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
};
constexpr DWORD ICC_BAR_CLASSES = 0x0004;  // the trackbar among them
constexpr DWORD ICC_TAB_CLASSES = 0x0008;
constexpr DWORD ICC_WIN95_CLASSES = 0x00FF;
constexpr DWORD ICC_STANDARD_CLASSES = 0x4000;
// Registers the common control classes of `dwICC`.  A template that names a
// common control whose class was never registered fails to make a dialog,
// as on Windows.  FALSE for a wrong dwSize.
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

// Runs a modal dialog from the template `name` of `instance` (null: the
// executable).  The owner, when it is a dialog, is disabled while this one
// runs; dialogs nest.  Returns the EndDialog result, -1 when the template is
// missing or damaged or names a control class that is not registered.  An
// owner that names no window leaves the dialog without an owner.
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM param);
// Ends the modal loop of the dialog once the message being handled returns.
BOOL EndDialog(HWND dialog, INT_PTR result);

HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxCount);
// 0 when the dialog has no such control.
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
// Returns whether the window was disabled before.
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
// Checks `check` and unchecks every other button with an id in first..last.
BOOL CheckRadioButton(HWND dialog, int first, int last, int check);
