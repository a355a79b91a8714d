// The dialog manager's model: one record per open dialog and per control,
// the user's actions on them (which both views and the test hooks call) and
// the view interface.  Internal to platform/win32.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/dialog.h"
#include "platform/win32/rc_dialog.h"

namespace tessaloom::win32 {

enum class ControlKind { PushButton, CheckBox, RadioButton, GroupBox, Static, ComboBox, Tab, Trackbar };

struct ComboItem {
    std::u16string text;
    LPARAM data = 0;
};

struct ControlRecord {
    HWND handle = nullptr;
    int id = 0;
    ControlKind kind = ControlKind::Static;
    DWORD style = 0;
    bool isDefault = false;  // BS_DEFPUSHBUTTON
    bool automatic = false;  // auto check box, auto radio button
    std::u16string text;
    bool enabled = true;
    bool visible = true;
    UINT check = BST_UNCHECKED;
    SHORT x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    std::vector<ComboItem> items;
    int selection = -1;  // combo entry, selected tab
    std::vector<std::u16string> tabs;
    int focusTab = -1;
    int rangeMin = 0, rangeMax = 100, position = 0, ticFrequency = 1;

    bool TabStop() const { return (style & WS_TABSTOP) != 0; }
    bool GroupStart() const { return (style & WS_GROUP) != 0; }
};

struct DialogRecord;

// What shows a dialog.  Open builds the view (hidden) before WM_INITDIALOG,
// RunModal shows it and returns once the dialog has ended, Close takes it
// down.  Changed is called after every change of a control's state, Retitled
// after the caption changed, Refocus after the focus moved.
class DialogView {
public:
    virtual ~DialogView() = default;
    virtual bool Open(DialogRecord& dialog) = 0;
    virtual void RunModal(DialogRecord& dialog) = 0;
    virtual void Close(DialogRecord& dialog) = 0;
    virtual void Changed(DialogRecord&, ControlRecord&) {}
    virtual void Retitled(DialogRecord&) {}
    virtual void Refocus(DialogRecord&) {}
    virtual void EnabledChanged(DialogRecord&) {}
};

struct DialogRecord {
    HWND handle = nullptr;
    HWND owner = nullptr;
    DLGPROC proc = nullptr;
    int templateId = 0;  // the template's number (0 for a named one)
    DialogTemplate layout;
    std::u16string title;
    std::vector<ControlRecord> controls;  // template order: the tab order
    int focus = -1;                       // index into controls
    bool enabled = true;
    bool ended = false;
    INT_PTR result = 0;
    DialogView* view = nullptr;

    ControlRecord* Find(int id);
    ControlRecord* FindHandle(HWND control);
};

DialogRecord* FindDialog(HWND dialog);
// The dialog a control belongs to (and the control).
DialogRecord* FindControlOwner(HWND control, ControlRecord** record);

// --- the user's actions -----------------------------------------------------
// A click on a button: an auto check box toggles, an auto radio button is
// checked and the other buttons of its group unchecked, then WM_COMMAND with
// BN_CLICKED goes to the dialog.  Nothing happens for a disabled control.
void ClickControl(DialogRecord& dialog, ControlRecord& control);
// A choice in a drop-down list: CBN_SELCHANGE.
void ChooseComboItem(DialogRecord& dialog, ControlRecord& control, int index);
// A tab chosen: TCN_SELCHANGING, then the selection and focus move and
// TCN_SELCHANGE follows, both as WM_NOTIFY.
void ChooseTab(DialogRecord& dialog, ControlRecord& control, int index);
// The trackbar's thumb let go at `position`: WM_VSCROLL (vertical) or
// WM_HSCROLL with TB_THUMBPOSITION, then TB_ENDTRACK.
void MoveTrackbar(DialogRecord& dialog, ControlRecord& control, int position);
// Esc: WM_COMMAND IDCANCEL.  Enter: the focused push button, else the
// default button (DM_GETDEFID, IDOK without one).  Tab and Shift+Tab: the
// next and previous enabled, visible tab stop.  Space: the focused button.
void PressKey(DialogRecord& dialog, WPARAM key, bool shift);
// Alt and a letter: the next enabled, visible control after the focus whose
// text marks that letter with "&" (either case) acts on it.  A static or a
// group box moves the focus to the next tab stop after it (the control it
// labels), a push button is clicked, a check box or radio button takes the
// focus and is clicked, any other control takes the focus.
void PressMnemonic(DialogRecord& dialog, char16_t letter);
// What the mnemonic of `control` does, as above.
void ActivateMnemonic(DialogRecord& dialog, ControlRecord& control);
// The letter a text marks with "&", upper case; 0 when it marks none.
char16_t MnemonicOf(const std::u16string& text);
char16_t FoldMnemonic(char16_t c);
// The caption's close box: WM_CLOSE, which the default handling turns into
// WM_COMMAND IDCANCEL.
void PressCloseBox(DialogRecord& dialog);
void SetFocusControl(DialogRecord& dialog, int index);

// --- hooks for the window stand-in ---------------------------------------------
// Whether the handle is a dialog or control of the dialog manager.
bool IsDialogHandle(HWND window);
LRESULT SendDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool SetDialogHandleText(HWND window, const std::u16string& text);
bool GetDialogHandleText(HWND window, std::u16string* text);
bool IsDialogHandleVisible(HWND window);
HWND DialogHandleParent(HWND window);

// --- views ------------------------------------------------------------------------
// GTK is started once, when a display is there (message_box.cpp).
bool GtkReady();
// The GTK view; null when GTK cannot run.
DialogView* GtkDialogView();
DialogView* HeadlessDialogView();
// The GTK window that shows a dialog; null when the dialog has none.
struct _GtkWindow* GtkWindowOfDialog(HWND dialog);
// Disables a dialog (as its owner while a message box it owns is up) or
// enables it again.  False when the handle is no dialog.
bool EnableDialog(HWND dialog, bool enable);

}  // namespace tessaloom::win32
