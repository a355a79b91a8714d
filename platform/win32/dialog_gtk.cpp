// The GTK 3 view of the dialog manager.
#include "platform/win32/dialog_model.h"

namespace tessaloom::win32 {

DialogView* GtkDialogView() { return nullptr; }

}  // namespace tessaloom::win32
