// MessageBoxW over GTK 3, or stderr when there is no display.
#include "platform/win32/message_box.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

#include "platform/win32/dialog_model.h"
#include "platform/win32/strings.h"

namespace tessaloom::win32 {

// GTK starts once, and only when a display is there to open.
bool GtkReady() {
    static int state = -1;  // -1 not tried, 0 no display, 1 ready
    if (state < 0) {
        const char* x = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        bool display = (x && *x) || (wayland && *wayland);
        // GTK would switch the process to the user's locale, and the saver's
        // number parsing and formatting rely on the C locale.
        if (display) gtk_disable_setlocale();
        state = display && gtk_init_check(nullptr, nullptr) ? 1 : 0;
    }
    return state == 1;
}

}  // namespace tessaloom::win32

namespace {

bool g_forceHeadless = false;

int HeadlessAnswer(UINT buttons) {
    switch (buttons) {
        case MB_OK: return IDOK;
        case MB_OKCANCEL: return IDCANCEL;
        case MB_YESNOCANCEL: return IDCANCEL;
        case MB_YESNO: return IDNO;
        default: return 0;
    }
}

int ShowWithGtk(GtkWindow* parent, const std::string& text, const std::string& caption, UINT type) {
    UINT buttons = type & 0x0F;
    GtkMessageType kind = GTK_MESSAGE_OTHER;
    switch (type & 0xF0) {
        case MB_ICONHAND: kind = GTK_MESSAGE_ERROR; break;
        case MB_ICONQUESTION: kind = GTK_MESSAGE_QUESTION; break;
        case MB_ICONEXCLAMATION: kind = GTK_MESSAGE_WARNING; break;
        case MB_ICONASTERISK: kind = GTK_MESSAGE_INFO; break;
        default: break;
    }
    GtkButtonsType set = GTK_BUTTONS_NONE;
    if (buttons == MB_OK) set = GTK_BUTTONS_OK;
    else if (buttons == MB_OKCANCEL) set = GTK_BUTTONS_OK_CANCEL;
    else if (buttons == MB_YESNO) set = GTK_BUTTONS_YES_NO;
    GtkWidget* dialog = gtk_message_dialog_new(parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), kind, set,
                                               "%s", text.c_str());
    if (buttons == MB_YESNOCANCEL)
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_Yes", GTK_RESPONSE_YES, "_No", GTK_RESPONSE_NO, "_Cancel",
                               GTK_RESPONSE_CANCEL, nullptr);
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    if (parent) {
        // Above its owner and centred on it.
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
        gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    }
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    while (gtk_events_pending()) gtk_main_iteration();
    switch (response) {
        case GTK_RESPONSE_OK: return IDOK;
        case GTK_RESPONSE_YES: return IDYES;
        case GTK_RESPONSE_NO: return IDNO;
        default:  // closed, Escape, Cancel
            return buttons == MB_OK ? IDOK : buttons == MB_YESNO ? IDNO : IDCANCEL;
    }
}

}  // namespace

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    std::u16string t = text ? std::u16string(text) : std::u16string();
    // A null caption is "Error", as on Windows.
    std::u16string c = caption ? std::u16string(caption) : std::u16string(u"Error");
    UINT buttons = type & 0x0F;
    if (buttons != MB_OK && buttons != MB_OKCANCEL && buttons != MB_YESNO && buttons != MB_YESNOCANCEL) {
        tessaloom::test::ShownMessageBoxes().push_back({owner, t, c, type, false});
        std::fprintf(stderr, "tessaloom: MessageBoxW: button set %u is not supported\n", buttons);
        return 0;
    }
    // A dialog that owns the box takes no input until it is answered.
    const bool ownerDisabled = IsWindowEnabled(owner) && tessaloom::win32::EnableDialog(owner, false);
    tessaloom::test::ShownMessageBoxes().push_back(
        {owner, t, c, type, tessaloom::win32::IsDialogHandle(owner) && !IsWindowEnabled(owner)});
    std::string text8 = tessaloom::Utf16ToUtf8(t), caption8 = tessaloom::Utf16ToUtf8(c);
    int answer;
    if (!g_forceHeadless && tessaloom::win32::GtkReady()) {
        answer = ShowWithGtk(tessaloom::win32::GtkWindowOfDialog(owner), text8, caption8, type);
    } else {
        std::fprintf(stderr, "%s: %s\n", caption8.c_str(), text8.c_str());
        answer = HeadlessAnswer(buttons);
    }
    if (ownerDisabled) tessaloom::win32::EnableDialog(owner, true);
    return answer;
}

namespace tessaloom::test {

std::vector<ShownMessageBox>& ShownMessageBoxes() {
    static std::vector<ShownMessageBox> shown;
    return shown;
}

void SetHeadlessMessageBoxes(bool headless) { g_forceHeadless = headless; }

}  // namespace tessaloom::test
