// The GTK 3 view of the dialog manager: a window per dialog, its controls
// placed from the template's dialog units converted with the system font's
// average character width and height (a dialog unit is a quarter of the
// width and an eighth of the height), as Windows does with the dialog font.
// Every person's action goes through the model's actions, so the dialog
// procedure sees the same messages as on the headless view; the widgets are
// set from the model after every change.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "platform/win32/dialog_model.h"
#include "platform/win32/input.h"
#include "platform/win32/sdl_backend.h"
#include "platform/win32/strings.h"

namespace tessaloom::win32 {
namespace {

struct GtkDialog;

struct ControlWidget {
    GtkDialog* owner = nullptr;
    size_t index = 0;
    GtkWidget* widget = nullptr;
    GtkWidget* noneRadio = nullptr;  // a radio group's hidden "nothing checked" member
    int marks = 0;                   // the tick spacing the scale shows
};

struct GtkDialog {
    DialogRecord* dialog = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* fixed = nullptr;
    std::vector<std::unique_ptr<ControlWidget>> controls;
    std::vector<GtkWidget*> noneRadios;  // held here: they are in no container
    GdkWindow* foreignOwner = nullptr;   // the owner of another program
    int updating = 0;  // widgets being set from the model: their signals are not actions
    int baseX = 8, baseY = 16;

    ControlRecord& Record(const ControlWidget& c) { return dialog->controls[c.index]; }
};

std::map<const DialogRecord*, std::unique_ptr<GtkDialog>> g_views;

// A person's actions wait here until the modal loop takes them: they may
// open a nested dialog, whose loop must not run inside GTK's handling of an
// event (GTK would not draw the new window).
struct PendingAction {
    HWND dialog;
    size_t control;
    std::function<void(DialogRecord&, ControlRecord*)> run;
};
std::deque<PendingAction> g_pending;
constexpr size_t kNoControl = static_cast<size_t>(-1);

void Queue(const GtkDialog& v, size_t control, std::function<void(DialogRecord&, ControlRecord*)> run) {
    g_pending.push_back({v.dialog->handle, control, std::move(run)});
}

void RunPendingActions() {
    while (!g_pending.empty()) {
        PendingAction action = std::move(g_pending.front());
        g_pending.pop_front();
        DialogRecord* d = FindDialog(action.dialog);
        if (!d || d->ended) continue;
        ControlRecord* c = action.control == kNoControl ? nullptr : &d->controls[action.control];
        action.run(*d, c);
    }
}

GtkDialog* ViewOf(const DialogRecord& d) {
    auto it = g_views.find(&d);
    return it == g_views.end() ? nullptr : it->second.get();
}

// "&Help" -> "_Help"; "&&" is a literal "&", a literal "_" is doubled.
std::string Mnemonic(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') out += u'&', ++i;
            else out += u'_';
        } else if (text[i] == u'_') {
            out += u"__";
        } else {
            out += text[i];
        }
    }
    return Utf16ToUtf8(out);
}

std::string Plain(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && !(i + 1 < text.size() && text[i + 1] == u'&')) continue;
        if (text[i] == u'&') ++i;
        out += text[i];
    }
    return Utf16ToUtf8(out);
}

// The system font's average character width and line height in pixels, the
// way Windows measures a dialog font: the width of the 52 letters.
void MeasureBaseUnits(GtkDialog& v) {
    PangoLayout* layout = gtk_widget_create_pango_layout(v.window, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    if (width > 0) v.baseX = (width / 26 + 1) / 2;
    if (height > 0) v.baseY = height;
}

int PixelsX(const GtkDialog& v, int units) { return units * v.baseX / 4; }
int PixelsY(const GtkDialog& v, int units) { return units * v.baseY / 8; }

// The text broken into lines at word boundaries within `width` pixels, in
// the widget's font, as a static control wraps it.
std::string WrapToWidth(GtkWidget* widget, const std::string& text, int width) {
    PangoLayout* layout = gtk_widget_create_pango_layout(widget, text.c_str());
    pango_layout_set_width(layout, width * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    std::string out;
    for (GSList* line = pango_layout_get_lines_readonly(layout); line; line = line->next) {
        const auto* l = static_cast<PangoLayoutLine*>(line->data);
        std::string part = text.substr(static_cast<size_t>(l->start_index), static_cast<size_t>(l->length));
        while (!part.empty() && (part.back() == ' ' || part.back() == '\n')) part.pop_back();
        if (!out.empty()) out += '\n';
        out += part;
    }
    g_object_unref(layout);
    return out;
}

// The wrapped plain text of a static as GTK's mnemonic text: literal "_"
// doubled and "_" before the letter its "&" marks.  Wrapping only drops the
// blanks at a line's end and puts a line break there, so walking both texts
// side by side finds the letter's place in the wrapped one.
std::string WrappedMnemonic(const std::u16string& text, const std::string& wrapped) {
    size_t mark = std::string::npos;  // the marked letter's byte in the plain text
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] == u'&') {
            ++i;
            continue;
        }
        mark = Plain(text.substr(0, i)).size();
        break;
    }
    const std::string plain = Plain(text);
    std::string out;
    size_t i = 0;
    for (size_t j = 0; j < wrapped.size(); ++j) {
        while (i < plain.size() && plain[i] != wrapped[j] && wrapped[j] != '\n') ++i;  // dropped blanks
        if (i < plain.size() && plain[i] == wrapped[j]) {
            if (i == mark) out += '_';
            ++i;
        }
        if (wrapped[j] == '_') out += '_';
        out += wrapped[j];
    }
    return out;
}

void SyncControl(GtkDialog& v, ControlWidget& cw);

void SyncRadioGroup(GtkDialog& v, ControlWidget& cw) {
    // Every member of the group from the model; the hidden member stands
    // for "none checked".
    bool any = false;
    for (auto& other : v.controls) {
        if (other->noneRadio != cw.noneRadio || !GTK_IS_RADIO_BUTTON(other->widget)) continue;
        if (v.Record(*other).check != BST_CHECKED) continue;
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(other->widget), TRUE);
        any = true;
    }
    if (!any) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cw.noneRadio), TRUE);
}

void SyncControl(GtkDialog& v, ControlWidget& cw) {
    ControlRecord& c = v.Record(cw);
    ++v.updating;
    gtk_widget_set_sensitive(cw.widget, c.enabled);
    switch (c.kind) {
        case ControlKind::Static: {
            const std::string wrapped = WrapToWidth(cw.widget, Plain(c.text), PixelsX(v, c.cx));
            if (!(c.style & SS_NOPREFIX) && MnemonicOf(c.text) != 0)
                gtk_label_set_text_with_mnemonic(GTK_LABEL(cw.widget), WrappedMnemonic(c.text, wrapped).c_str());
            else
                gtk_label_set_text(GTK_LABEL(cw.widget), wrapped.c_str());
            break;
        }
        case ControlKind::GroupBox:
            gtk_frame_set_label(GTK_FRAME(cw.widget), Plain(c.text).c_str());
            break;
        case ControlKind::PushButton:
            gtk_button_set_label(GTK_BUTTON(cw.widget), Mnemonic(c.text).c_str());
            break;
        case ControlKind::CheckBox:
            gtk_button_set_label(GTK_BUTTON(cw.widget), Mnemonic(c.text).c_str());
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cw.widget), c.check == BST_CHECKED);
            break;
        case ControlKind::RadioButton:
            gtk_button_set_label(GTK_BUTTON(cw.widget), Mnemonic(c.text).c_str());
            SyncRadioGroup(v, cw);
            break;
        case ControlKind::ComboBox: {
            GtkComboBoxText* combo = GTK_COMBO_BOX_TEXT(cw.widget);
            gtk_combo_box_text_remove_all(combo);
            for (const auto& item : c.items) gtk_combo_box_text_append_text(combo, Utf16ToUtf8(item.text).c_str());
            gtk_combo_box_set_active(GTK_COMBO_BOX(combo), c.selection);
            break;
        }
        case ControlKind::Tab: {
            GtkNotebook* book = GTK_NOTEBOOK(cw.widget);
            while (gtk_notebook_get_n_pages(book) > static_cast<int>(c.tabs.size()))
                gtk_notebook_remove_page(book, -1);
            for (size_t i = 0; i < c.tabs.size(); ++i) {
                if (static_cast<int>(i) >= gtk_notebook_get_n_pages(book)) {
                    GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
                    gtk_widget_show(page);
                    gtk_notebook_append_page(book, page, nullptr);
                }
                GtkWidget* page = gtk_notebook_get_nth_page(book, static_cast<int>(i));
                gtk_notebook_set_tab_label_text(book, page, Utf16ToUtf8(c.tabs[i]).c_str());
            }
            if (c.selection >= 0) gtk_notebook_set_current_page(book, c.selection);
            break;
        }
        case ControlKind::Trackbar: {
            // Only what changed: a new range or marks make GTK lay the
            // scale out again.
            GtkRange* range = GTK_RANGE(cw.widget);
            GtkAdjustment* adjustment = gtk_range_get_adjustment(range);
            const int top = c.rangeMax > c.rangeMin ? c.rangeMax : c.rangeMin + 1;
            const bool rangeChanged = gtk_adjustment_get_lower(adjustment) != c.rangeMin ||
                                      gtk_adjustment_get_upper(adjustment) != top;
            if (rangeChanged) gtk_range_set_range(range, c.rangeMin, top);
            if (gtk_range_get_value(range) != c.position) gtk_range_set_value(range, c.position);
            if (rangeChanged || cw.marks != c.ticFrequency) {
                cw.marks = c.ticFrequency;
                gtk_scale_clear_marks(GTK_SCALE(cw.widget));
                // A trackbar's ticks lie right of (below) its channel, left of
                // (above) it with TBS_LEFT (TBS_TOP), on both sides with TBS_BOTH.
                const bool vertical = (c.style & TBS_VERT) != 0;
                const bool both = (c.style & TBS_BOTH) != 0;
                const bool before = both || (c.style & TBS_LEFT) != 0;
                const bool after = both || (c.style & TBS_LEFT) == 0;
                if ((c.style & TBS_AUTOTICKS) && !(c.style & TBS_NOTICKS))
                    for (int t = c.rangeMin; t <= c.rangeMax; t += c.ticFrequency) {
                        if (before)
                            gtk_scale_add_mark(GTK_SCALE(cw.widget), t, vertical ? GTK_POS_LEFT : GTK_POS_TOP, nullptr);
                        if (after)
                            gtk_scale_add_mark(GTK_SCALE(cw.widget), t, vertical ? GTK_POS_RIGHT : GTK_POS_BOTTOM,
                                               nullptr);
                    }
            }
            break;
        }
    }
    --v.updating;
}

// --- signals: a person's actions become the model's ---------------------------

void OnClicked(GtkButton*, gpointer data) {
    auto* cw = static_cast<ControlWidget*>(data);
    if (cw->owner->updating) return;
    Queue(*cw->owner, cw->index, [](DialogRecord& d, ControlRecord* c) { ClickControl(d, *c); });
}

void OnToggled(GtkToggleButton* button, gpointer data) {
    auto* cw = static_cast<ControlWidget*>(data);
    GtkDialog& v = *cw->owner;
    if (v.updating) return;
    // A radio button that GTK turned off because another came on is not an
    // action of its own.
    if (GTK_IS_RADIO_BUTTON(button) && !gtk_toggle_button_get_active(button)) return;
    Queue(v, cw->index, [](DialogRecord& d, ControlRecord* c) {
        ClickControl(d, *c);
        // The model decides (a non-automatic button does not change itself).
        if (d.view && !d.ended) d.view->Changed(d, *c);
    });
}

void OnComboChanged(GtkComboBox* combo, gpointer data) {
    auto* cw = static_cast<ControlWidget*>(data);
    if (cw->owner->updating) return;
    const int index = gtk_combo_box_get_active(combo);
    Queue(*cw->owner, cw->index, [index](DialogRecord& d, ControlRecord* c) { ChooseComboItem(d, *c, index); });
}

void OnSwitchPage(GtkNotebook*, GtkWidget*, guint page, gpointer data) {
    auto* cw = static_cast<ControlWidget*>(data);
    if (cw->owner->updating) return;
    const int index = static_cast<int>(page);
    Queue(*cw->owner, cw->index, [index](DialogRecord& d, ControlRecord* c) { ChooseTab(d, *c, index); });
}

void OnValueChanged(GtkRange* range, gpointer data) {
    auto* cw = static_cast<ControlWidget*>(data);
    GtkDialog& v = *cw->owner;
    const int position = static_cast<int>(gtk_range_get_value(range) + 0.5);
    // GTK also moves the value while it lays the scale out.
    if (v.updating || position == v.Record(*cw).position) return;
    Queue(v, cw->index, [position](DialogRecord& d, ControlRecord* c) { MoveTrackbar(d, *c, position); });
}

// Alt and a static's letter: the model moves the focus on (GTK would look
// for a widget of the label's own).  Moving the focus opens nothing, so it
// is done at once, before the next key is read.
gboolean OnLabelMnemonic(GtkWidget*, gboolean, gpointer data) {
    auto* cw = static_cast<ControlWidget*>(data);
    DialogRecord& d = *cw->owner->dialog;
    if (!d.ended) ActivateMnemonic(d, cw->owner->Record(*cw));
    return TRUE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    Queue(*static_cast<GtkDialog*>(data), kNoControl, [](DialogRecord& d, ControlRecord*) { PressCloseBox(d); });
    return TRUE;  // the window goes when the dialog ends
}

gboolean OnKeyPress(GtkWidget* window, GdkEventKey* event, gpointer data) {
    auto* v = static_cast<GtkDialog*>(data);
    switch (event->keyval) {
        case GDK_KEY_Escape:
            Queue(*v, kNoControl, [](DialogRecord& d, ControlRecord*) { PressKey(d, VK_ESCAPE, false); });
            return TRUE;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter: {
            // A focused push button takes Enter itself (GTK activates it).
            GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
            if (focus && GTK_IS_BUTTON(focus) && !GTK_IS_TOGGLE_BUTTON(focus)) return FALSE;
            Queue(*v, kNoControl, [](DialogRecord& d, ControlRecord*) { PressKey(d, VK_RETURN, false); });
            return TRUE;
        }
        default:
            return FALSE;
    }
}

void OnSetFocus(GtkWindow*, GtkWidget* widget, gpointer data) {
    auto* v = static_cast<GtkDialog*>(data);
    for (auto& cw : v->controls)
        if (cw->widget == widget) v->dialog->focus = static_cast<int>(cw->index);
}

GtkWidget* MakeWidget(GtkDialog& v, ControlWidget& cw, std::map<size_t, GtkWidget*>& groupNone) {
    ControlRecord& c = v.Record(cw);
    switch (c.kind) {
        case ControlKind::Static: {
            GtkWidget* label = gtk_label_new(nullptr);
            const DWORD align = c.style & SS_TYPEMASK;
            gtk_label_set_xalign(GTK_LABEL(label), align == SS_CENTER ? 0.5f : align == SS_RIGHT ? 1.0f : 0.0f);
            gtk_label_set_yalign(GTK_LABEL(label), (c.style & SS_CENTERIMAGE) ? 0.5f : 0.0f);
            gtk_label_set_justify(GTK_LABEL(label), align == SS_CENTER ? GTK_JUSTIFY_CENTER : GTK_JUSTIFY_LEFT);
            // No wrapping of its own: SyncControl breaks the text at the
            // template's width, so the label never asks for more room.
            gtk_label_set_line_wrap(GTK_LABEL(label), FALSE);
            g_signal_connect(label, "mnemonic-activate", G_CALLBACK(OnLabelMnemonic), &cw);
            return label;
        }
        case ControlKind::GroupBox:
            return gtk_frame_new(nullptr);
        case ControlKind::PushButton: {
            GtkWidget* button = gtk_button_new_with_mnemonic("");
            g_signal_connect(button, "clicked", G_CALLBACK(OnClicked), &cw);
            return button;
        }
        case ControlKind::CheckBox: {
            GtkWidget* box = gtk_check_button_new_with_mnemonic("");
            g_signal_connect(box, "toggled", G_CALLBACK(OnToggled), &cw);
            return box;
        }
        case ControlKind::RadioButton: {
            // One GTK group per template group, with a hidden member for the
            // state in which none of the buttons is checked.
            size_t first = cw.index;
            while (first > 0 && !v.dialog->controls[first].GroupStart()) --first;
            GtkWidget*& none = groupNone[first];
            if (!none) {
                none = gtk_radio_button_new(nullptr);
                g_object_ref_sink(none);
                v.noneRadios.push_back(none);
            }
            cw.noneRadio = none;
            GtkWidget* radio = gtk_radio_button_new_with_mnemonic_from_widget(GTK_RADIO_BUTTON(none), "");
            g_signal_connect(radio, "toggled", G_CALLBACK(OnToggled), &cw);
            return radio;
        }
        case ControlKind::ComboBox: {
            GtkWidget* combo = gtk_combo_box_text_new();
            g_signal_connect(combo, "changed", G_CALLBACK(OnComboChanged), &cw);
            return combo;
        }
        case ControlKind::Tab: {
            GtkWidget* book = gtk_notebook_new();
            gtk_notebook_set_scrollable(GTK_NOTEBOOK(book), TRUE);
            g_signal_connect(book, "switch-page", G_CALLBACK(OnSwitchPage), &cw);
            return book;
        }
        case ControlKind::Trackbar: {
            const bool vertical = (c.style & TBS_VERT) != 0;
            GtkWidget* scale = gtk_scale_new_with_range(vertical ? GTK_ORIENTATION_VERTICAL : GTK_ORIENTATION_HORIZONTAL,
                                                        0, 100, 1);
            gtk_scale_set_draw_value(GTK_SCALE(scale), FALSE);
            // A trackbar's channel is not filled up to the thumb.
            gtk_scale_set_has_origin(GTK_SCALE(scale), FALSE);
            g_signal_connect(scale, "value-changed", G_CALLBACK(OnValueChanged), &cw);
            return scale;
        }
    }
    return gtk_label_new(nullptr);
}

class GtkView : public DialogView {
public:
    bool Open(DialogRecord& d) override {
        auto view = std::make_unique<GtkDialog>();
        GtkDialog& v = *view;
        v.dialog = &d;
        v.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(v.window), Utf16ToUtf8(d.title).c_str());
        gtk_window_set_resizable(GTK_WINDOW(v.window), FALSE);
        gtk_window_set_modal(GTK_WINDOW(v.window), TRUE);
        gtk_window_set_type_hint(GTK_WINDOW(v.window), GDK_WINDOW_TYPE_HINT_DIALOG);
        if (DialogRecord* owner = FindDialog(d.owner))
            if (GtkDialog* ov = ViewOf(*owner)) gtk_window_set_transient_for(GTK_WINDOW(v.window), GTK_WINDOW(ov->window));
        // An owner that is a window of another program (the command line's
        // parent) keeps the dialog above it, as a transient of that window.
        if (d.owner && !FindDialog(d.owner) && !FindWindow(d.owner) && ForeignWindowExists(d.owner) &&
            GDK_IS_X11_DISPLAY(gdk_display_get_default())) {
            gtk_widget_realize(v.window);
            const auto id = static_cast<Window>(reinterpret_cast<uintptr_t>(d.owner));
            if (GdkWindow* foreign = gdk_x11_window_foreign_new_for_display(gdk_display_get_default(), id)) {
                gdk_window_set_transient_for(gtk_widget_get_window(v.window), foreign);
                v.foreignOwner = foreign;
            }
        }
        gtk_window_set_position(GTK_WINDOW(v.window),
                                gtk_window_get_transient_for(GTK_WINDOW(v.window)) ? GTK_WIN_POS_CENTER_ON_PARENT
                                                                                    : GTK_WIN_POS_CENTER);
        MeasureBaseUnits(v);
        v.fixed = gtk_fixed_new();
        gtk_widget_set_size_request(v.fixed, PixelsX(v, d.layout.cx), PixelsY(v, d.layout.cy));
        gtk_container_add(GTK_CONTAINER(v.window), v.fixed);

        std::map<size_t, GtkWidget*> groupNone;
        GList* chain = nullptr;
        for (size_t i = 0; i < d.controls.size(); ++i) {
            auto cw = std::make_unique<ControlWidget>();
            cw->owner = &v;
            cw->index = i;
            cw->widget = MakeWidget(v, *cw, groupNone);
            const ControlRecord& c = d.controls[i];
            // A drop-down list's height in the template includes the open
            // list; the closed box takes its natural height.
            const int height = c.kind == ControlKind::ComboBox ? -1 : PixelsY(v, c.cy);
            gtk_widget_set_size_request(cw->widget, PixelsX(v, c.cx), height);
            gtk_fixed_put(GTK_FIXED(v.fixed), cw->widget, PixelsX(v, c.x), PixelsY(v, c.y));
            if (c.kind == ControlKind::PushButton && c.isDefault) {
                gtk_widget_set_can_default(cw->widget, TRUE);
                gtk_window_set_default(GTK_WINDOW(v.window), cw->widget);
            }
            gtk_widget_set_can_focus(cw->widget, c.TabStop());
            if (c.TabStop()) chain = g_list_append(chain, cw->widget);
            v.controls.push_back(std::move(cw));
        }
        // Tab walks the template's order.
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_container_set_focus_chain(GTK_CONTAINER(v.fixed), chain);
        G_GNUC_END_IGNORE_DEPRECATIONS
        g_list_free(chain);
        for (auto& cw : v.controls) SyncControl(v, *cw);

        g_signal_connect(v.window, "delete-event", G_CALLBACK(OnDelete), &v);
        g_signal_connect(v.window, "key-press-event", G_CALLBACK(OnKeyPress), &v);
        g_signal_connect(v.window, "set-focus", G_CALLBACK(OnSetFocus), &v);
        g_views[&d] = std::move(view);
        return true;
    }

    void RunModal(DialogRecord& d) override {
        GtkDialog* v = ViewOf(d);
        if (!v) return;
        gtk_widget_show(v->fixed);
        for (auto& cw : v->controls)
            if (v->Record(*cw).visible) gtk_widget_show(cw->widget);
        gtk_widget_show(v->window);
        Refocus(d);
        while (!d.ended) {
            gtk_main_iteration();
            RunPendingActions();
        }
    }

    void Close(DialogRecord& d) override {
        auto it = g_views.find(&d);
        if (it == g_views.end()) return;
        gtk_widget_destroy(it->second->window);
        if (it->second->foreignOwner) g_object_unref(it->second->foreignOwner);
        for (GtkWidget* none : it->second->noneRadios) {
            gtk_widget_destroy(none);
            g_object_unref(none);
        }
        g_views.erase(it);
        while (gtk_events_pending()) gtk_main_iteration();
    }

    void Changed(DialogRecord& d, ControlRecord& c) override {
        GtkDialog* v = ViewOf(d);
        if (!v) return;
        SyncControl(*v, *v->controls[static_cast<size_t>(&c - d.controls.data())]);
    }

    void Retitled(DialogRecord& d) override {
        if (GtkDialog* v = ViewOf(d)) gtk_window_set_title(GTK_WINDOW(v->window), Utf16ToUtf8(d.title).c_str());
    }

    void Refocus(DialogRecord& d) override {
        GtkDialog* v = ViewOf(d);
        if (!v || d.focus < 0 || !gtk_widget_get_visible(v->window)) return;
        gtk_widget_grab_focus(v->controls[static_cast<size_t>(d.focus)]->widget);
    }

    void EnabledChanged(DialogRecord& d) override {
        if (GtkDialog* v = ViewOf(d)) gtk_widget_set_sensitive(v->fixed, d.enabled);
    }
};

}  // namespace

GtkWindow* GtkWindowOfDialog(HWND dialog) {
    DialogRecord* d = FindDialog(dialog);
    GtkDialog* v = d ? ViewOf(*d) : nullptr;
    return v ? GTK_WINDOW(v->window) : nullptr;
}

DialogView* GtkDialogView() {
    static GtkView view;
    return &view;
}

}  // namespace tessaloom::win32
