// The test interface of the dialog manager: the headless view and the
// person's actions on a dialog, entering where the GTK view's would.
#pragma once

#include <functional>

#include "platform/win32/types.h"

namespace tessaloom::test {

// True: dialogs use the headless view even when a display is there.
void SetHeadlessDialogs(bool headless);
// Called by the headless view for every modal dialog once WM_INITDIALOG is
// done, with the dialog and its template number; it acts on the dialog
// (nested dialogs call it again).  A dialog the driver leaves open is
// cancelled (Esc) and said so on stderr; without a driver every headless
// dialog is cancelled, so nothing is agreed to that nobody saw.  Returns the
// driver it replaces.
using DialogDriver = std::function<void(HWND dialog, int templateId)>;
DialogDriver SetDialogDriver(DialogDriver driver);

// The actions; false when the dialog or the control does not exist.
bool ClickDialogItem(HWND dialog, int id);
bool ChooseDialogComboItem(HWND dialog, int id, int index);
bool ChooseDialogTab(HWND dialog, int id, int index);
bool MoveDialogTrackbar(HWND dialog, int id, int position);
bool PressDialogKey(HWND dialog, WPARAM key, bool shift = false);
// Alt and `letter` (PressMnemonic in dialog_model.h).
bool PressDialogMnemonic(HWND dialog, char16_t letter);
bool PressDialogCloseBox(HWND dialog);

// Forgets the classes InitCommonControlsEx registered (a new process).
void ResetCommonControls();

// State the procedure cannot read back through messages.
int DialogFocusId(HWND dialog);  // 0 when nothing has the focus
bool IsDialogOpen(HWND dialog);

}  // namespace tessaloom::test
