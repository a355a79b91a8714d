// The dialog manager: modal dialogs built from compiled templates, their
// controls' messages, the user's actions and the headless view.
#include "platform/win32/dialog.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/win32/dialog_hooks.h"
#include "platform/win32/dialog_model.h"
#include "platform/win32/input.h"
#include "platform/win32/message_box.h"
#include "platform/win32/resources.h"
#include "platform/win32/strings.h"
#include "platform/win32/window.h"

namespace tessaloom::win32 {
namespace {

// Open dialogs, the innermost last.
std::vector<std::unique_ptr<DialogRecord>> g_dialogs;
// Dialog and control handles lie above the window stand-in's and every X11
// resource id.
uintptr_t g_nextHandle = 0x60000000u;
DWORD g_commonClasses = 0;
bool g_forceHeadless = false;
test::DialogDriver g_driver;

constexpr LRESULT kHasDefaultId = 0x534B;  // DC_HASDEFID in the high word

bool SameClass(const std::u16string& a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

// The control record of a template item; false (with the reason) for a class
// the manager does not provide or that was never registered.
bool BuildControl(const DialogControl& item, ControlRecord& c, std::string& why) {
    const std::u16string cls = item.ClassName();
    c.id = static_cast<int>(static_cast<SHORT>(item.id));
    c.style = item.style;
    c.x = item.x, c.y = item.y, c.cx = item.cx, c.cy = item.cy;
    c.text = item.title.IsOrdinal() ? std::u16string() : item.title.text;
    c.visible = (item.style & WS_VISIBLE) != 0;
    c.enabled = (item.style & WS_DISABLED) == 0;
    if (SameClass(cls, u"Button")) {
        switch (item.style & BS_TYPEMASK) {
            case BS_DEFPUSHBUTTON: c.kind = ControlKind::PushButton, c.isDefault = true; break;
            case BS_CHECKBOX: c.kind = ControlKind::CheckBox; break;
            case BS_AUTOCHECKBOX: c.kind = ControlKind::CheckBox, c.automatic = true; break;
            case BS_RADIOBUTTON: c.kind = ControlKind::RadioButton; break;
            case BS_AUTORADIOBUTTON: c.kind = ControlKind::RadioButton, c.automatic = true; break;
            case BS_GROUPBOX: c.kind = ControlKind::GroupBox; break;
            case BS_PUSHBUTTON: c.kind = ControlKind::PushButton; break;
            default:
                why = "button style " + std::to_string(item.style & BS_TYPEMASK) + " is not provided";
                return false;
        }
        return true;
    }
    if (SameClass(cls, u"Static")) {
        c.kind = ControlKind::Static;
        return true;
    }
    if (SameClass(cls, u"ComboBox")) {
        if ((item.style & 0x3) != CBS_DROPDOWNLIST) {
            why = "only the drop-down list combo box is provided";
            return false;
        }
        c.kind = ControlKind::ComboBox;
        return true;
    }
    if (SameClass(cls, WC_TABCONTROLW) || SameClass(cls, TRACKBAR_CLASSW)) {
        const bool tab = SameClass(cls, WC_TABCONTROLW);
        const DWORD needed = tab ? ICC_TAB_CLASSES : ICC_BAR_CLASSES;
        if ((g_commonClasses & needed) == 0) {
            why = Utf16ToUtf8(cls) + " is not registered (InitCommonControlsEx)";
            return false;
        }
        c.kind = tab ? ControlKind::Tab : ControlKind::Trackbar;
        return true;
    }
    why = "control class \"" + Utf16ToUtf8(cls) + "\" is not provided";
    return false;
}

INT_PTR CallProc(DialogRecord& d, UINT message, WPARAM wParam, LPARAM lParam) {
    return d.proc ? d.proc(d.handle, message, wParam, lParam) : 0;
}

// The procedure first; what it leaves unhandled gets the default handling.
LRESULT SendToDialog(DialogRecord& d, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR handled = CallProc(d, message, wParam, lParam);
    if (handled) return handled;
    switch (message) {
        case WM_CLOSE: {
            ControlRecord* cancel = d.Find(IDCANCEL);
            if (cancel && !cancel->enabled) return 0;
            SendToDialog(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel ? cancel->handle : nullptr));
            return 0;
        }
        case DM_GETDEFID:
            for (auto& c : d.controls)
                if (c.kind == ControlKind::PushButton && c.isDefault)
                    return MAKELONG(static_cast<WORD>(c.id), static_cast<WORD>(kHasDefaultId));
            return 0;
        case WM_SETTEXT:
            d.title = lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string();
            if (d.view) d.view->Retitled(d);
            return TRUE;
        default:
            return 0;
    }
}

void Notify(DialogRecord& d, ControlRecord& c) {
    if (d.view) d.view->Changed(d, c);
}

void SendCommand(DialogRecord& d, const ControlRecord& c, WORD code) {
    SendToDialog(d, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(c.id), code), reinterpret_cast<LPARAM>(c.handle));
}

LRESULT CopyText(const std::u16string& text, WPARAM capacity, LPARAM buffer) {
    if (!buffer || capacity == 0) return 0;
    auto* out = reinterpret_cast<WCHAR*>(buffer);
    size_t n = std::min<size_t>(text.size(), capacity - 1);
    std::copy(text.begin(), text.begin() + n, out);
    out[n] = 0;
    return static_cast<LRESULT>(n);
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The range [first, last) of the radio group around control `index`: from
// the nearest WS_GROUP control at or before it to the next one after it.
std::pair<size_t, size_t> GroupOf(const DialogRecord& d, size_t index) {
    size_t first = index;
    while (first > 0 && !d.controls[first].GroupStart()) --first;
    size_t last = index + 1;
    while (last < d.controls.size() && !d.controls[last].GroupStart()) ++last;
    return {first, last};
}

void CheckInGroup(DialogRecord& d, size_t index) {
    auto [first, last] = GroupOf(d, index);
    for (size_t i = first; i < last; ++i) {
        ControlRecord& c = d.controls[i];
        if (c.kind != ControlKind::RadioButton) continue;
        UINT want = i == index ? BST_CHECKED : BST_UNCHECKED;
        if (c.check != want) {
            c.check = want;
            Notify(d, c);
        }
    }
}

// Whether Tab stops on the control: a radio button of a group with a checked
// button only when it is that one.
bool Focusable(const DialogRecord& d, size_t index) {
    const ControlRecord& c = d.controls[index];
    if (!c.TabStop() || !c.enabled || !c.visible) return false;
    if (c.kind == ControlKind::RadioButton && c.check != BST_CHECKED) {
        auto [first, last] = GroupOf(d, index);
        for (size_t i = first; i < last; ++i)
            if (d.controls[i].kind == ControlKind::RadioButton && d.controls[i].check == BST_CHECKED) return false;
    }
    return true;
}

int NextFocus(const DialogRecord& d, int from, bool backwards) {
    const int n = static_cast<int>(d.controls.size());
    for (int step = 1; step <= n; ++step) {
        int i = backwards ? (from - step + 2 * n) % n : (from + step + n) % n;
        if (from < 0) i = backwards ? n - step : step - 1;
        if (Focusable(d, static_cast<size_t>(i))) return i;
    }
    return -1;
}

LRESULT ButtonMessage(DialogRecord& d, ControlRecord& c, UINT message, WPARAM wParam) {
    switch (message) {
        case BM_GETCHECK:
            return c.check;
        case BM_SETCHECK:
            c.check = static_cast<UINT>(wParam);
            Notify(d, c);
            return 0;
        case BM_CLICK:
            ClickControl(d, c);
            return 0;
        default:
            return 0;
    }
}

LRESULT ComboMessage(DialogRecord& d, ControlRecord& c, UINT message, WPARAM wParam, LPARAM lParam) {
    const int count = static_cast<int>(c.items.size());
    const int index = static_cast<int>(wParam);
    const bool valid = index >= 0 && index < count;
    switch (message) {
        case CB_ADDSTRING:
            c.items.push_back({lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string(), 0});
            Notify(d, c);
            return count;
        case CB_GETCOUNT:
            return count;
        case CB_GETCURSEL:
            return c.selection;
        case CB_SETCURSEL:
            // An index outside the list clears the selection and reports CB_ERR.
            c.selection = valid ? index : -1;
            Notify(d, c);
            return valid ? index : CB_ERR;
        case CB_GETLBTEXT:
            if (!valid || !lParam) return CB_ERR;
            return CopyText(c.items[index].text, c.items[index].text.size() + 1, lParam);
        case CB_GETLBTEXTLEN:
            return valid ? static_cast<LRESULT>(c.items[index].text.size()) : CB_ERR;
        case CB_RESETCONTENT:
            c.items.clear();
            c.selection = -1;
            Notify(d, c);
            return 0;
        case CB_GETITEMDATA:
            return valid ? c.items[index].data : CB_ERR;
        case CB_SETITEMDATA:
            if (!valid) return CB_ERR;
            c.items[index].data = lParam;
            return TRUE;
        default:
            return 0;
    }
}

LRESULT TabMessage(DialogRecord& d, ControlRecord& c, UINT message, WPARAM wParam, LPARAM lParam) {
    const int count = static_cast<int>(c.tabs.size());
    const int index = static_cast<int>(wParam);
    switch (message) {
        case TCM_INSERTITEMW: {
            const auto* item = reinterpret_cast<const TCITEMW*>(lParam);
            if (!item || index < 0) return -1;
            const int at = std::min(index, count);
            std::u16string text = (item->mask & TCIF_TEXT) && item->pszText ? item->pszText : u"";
            c.tabs.insert(c.tabs.begin() + at, std::move(text));
            // The first tab becomes the selected one; later inserts before
            // the selection keep the same tab selected.
            if (c.selection < 0) c.selection = c.focusTab = 0;
            else if (at <= c.selection) ++c.selection, ++c.focusTab;
            Notify(d, c);
            return at;
        }
        case TCM_GETITEMW: {
            auto* item = reinterpret_cast<TCITEMW*>(lParam);
            if (!item || index < 0 || index >= count) return FALSE;
            if ((item->mask & TCIF_TEXT) && item->pszText && item->cchTextMax > 0)
                CopyText(c.tabs[static_cast<size_t>(index)], static_cast<WPARAM>(item->cchTextMax),
                         reinterpret_cast<LPARAM>(item->pszText));
            if (item->mask & TCIF_IMAGE) item->iImage = -1;
            return TRUE;
        }
        case TCM_GETITEMCOUNT:
            return count;
        case TCM_GETCURSEL:
            return c.selection;
        case TCM_GETCURFOCUS:
            return c.focusTab;
        case TCM_SETCURSEL: {
            if (index < 0 || index >= count) return -1;
            const int previous = c.selection;
            c.selection = c.focusTab = index;
            Notify(d, c);
            return previous;
        }
        case TCM_SETCURFOCUS:
            if (index >= 0 && index < count) c.focusTab = index;
            return 0;
        default:
            return 0;
    }
}

LRESULT TrackbarMessage(DialogRecord& d, ControlRecord& c, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case TBM_GETPOS:
            return c.position;
        case TBM_GETRANGEMIN:
            return c.rangeMin;
        case TBM_GETRANGEMAX:
            return c.rangeMax;
        case TBM_SETPOS:
            c.position = Clamp(static_cast<int>(lParam), c.rangeMin, c.rangeMax);
            Notify(d, c);
            return 0;
        case TBM_SETRANGE:
            c.rangeMin = static_cast<SHORT>(LOWORD(lParam));
            c.rangeMax = static_cast<SHORT>(HIWORD(lParam));
            c.position = Clamp(c.position, c.rangeMin, c.rangeMax);
            Notify(d, c);
            return 0;
        case TBM_SETTICFREQ:
            c.ticFrequency = std::max(1, static_cast<int>(wParam));
            Notify(d, c);
            return 0;
        default:
            return 0;
    }
}

LRESULT ControlMessage(DialogRecord& d, ControlRecord& c, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT:
            c.text = lParam ? std::u16string(reinterpret_cast<LPCWSTR>(lParam)) : std::u16string();
            Notify(d, c);
            return TRUE;
        case WM_GETTEXT:
            return CopyText(c.text, wParam, lParam);
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(c.text.size());
        default:
            break;
    }
    switch (c.kind) {
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            return ButtonMessage(d, c, message, wParam);
        case ControlKind::ComboBox:
            return ComboMessage(d, c, message, wParam, lParam);
        case ControlKind::Tab:
            return TabMessage(d, c, message, wParam, lParam);
        case ControlKind::Trackbar:
            return TrackbarMessage(d, c, message, wParam, lParam);
        default:
            return 0;
    }
}

void RunHeadless(DialogRecord& d) {
    if (g_driver) {
        test::DialogDriver driver = g_driver;  // the driver may replace itself
        driver(d.handle, d.templateId);
    } else {
        std::fprintf(stderr, "tessaloom: dialog %d has no display to be shown on; cancelled\n", d.templateId);
    }
    if (d.ended) return;
    if (g_driver) std::fprintf(stderr, "tessaloom: dialog %d was left open; cancelled\n", d.templateId);
    PressKey(d, VK_ESCAPE, false);
    if (!d.ended) {
        std::fprintf(stderr, "tessaloom: dialog %d did not end on IDCANCEL; ended with it\n", d.templateId);
        d.ended = true;
        d.result = IDCANCEL;
    }
}

class HeadlessView : public DialogView {
public:
    bool Open(DialogRecord&) override { return true; }
    void RunModal(DialogRecord& d) override { RunHeadless(d); }
    void Close(DialogRecord&) override {}
};

void SetEnabled(DialogRecord& d, ControlRecord* c, bool enable) {
    if (c) {
        if (c->enabled != enable) {
            c->enabled = enable;
            Notify(d, *c);
        }
    } else if (d.enabled != enable) {
        d.enabled = enable;
        if (d.view) d.view->EnabledChanged(d);
    }
}

}  // namespace

ControlRecord* DialogRecord::Find(int id) {
    for (auto& c : controls)
        if (c.id == id) return &c;
    return nullptr;
}

ControlRecord* DialogRecord::FindHandle(HWND control) {
    for (auto& c : controls)
        if (c.handle == control) return &c;
    return nullptr;
}

DialogRecord* FindDialog(HWND dialog) {
    if (!dialog) return nullptr;
    for (auto& d : g_dialogs)
        if (d->handle == dialog) return d.get();
    return nullptr;
}

DialogRecord* FindControlOwner(HWND control, ControlRecord** record) {
    if (!control) return nullptr;
    for (auto& d : g_dialogs)
        if (ControlRecord* c = d->FindHandle(control)) {
            if (record) *record = c;
            return d.get();
        }
    return nullptr;
}

void ClickControl(DialogRecord& d, ControlRecord& c) {
    if (!c.enabled || !d.enabled) return;
    if (c.kind == ControlKind::CheckBox && c.automatic) {
        c.check = c.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        Notify(d, c);
    } else if (c.kind == ControlKind::RadioButton && c.automatic) {
        CheckInGroup(d, static_cast<size_t>(&c - d.controls.data()));
    } else if (c.kind != ControlKind::PushButton && c.kind != ControlKind::CheckBox &&
               c.kind != ControlKind::RadioButton) {
        return;
    }
    SendCommand(d, c, BN_CLICKED);
}

void ChooseComboItem(DialogRecord& d, ControlRecord& c, int index) {
    if (!c.enabled || !d.enabled || c.kind != ControlKind::ComboBox) return;
    if (index < 0 || index >= static_cast<int>(c.items.size()) || index == c.selection) return;
    c.selection = index;
    Notify(d, c);
    SendCommand(d, c, CBN_SELCHANGE);
}

void ChooseTab(DialogRecord& d, ControlRecord& c, int index) {
    if (!c.enabled || !d.enabled || c.kind != ControlKind::Tab) return;
    if (index < 0 || index >= static_cast<int>(c.tabs.size()) || index == c.selection) return;
    // A dialog procedure's answer to WM_NOTIFY only says it handled the
    // message; the change cannot be refused here.
    NMHDR header{c.handle, static_cast<UINT_PTR>(c.id), TCN_SELCHANGING};
    SendToDialog(d, WM_NOTIFY, static_cast<WPARAM>(c.id), reinterpret_cast<LPARAM>(&header));
    c.selection = c.focusTab = index;
    Notify(d, c);
    header.code = TCN_SELCHANGE;
    SendToDialog(d, WM_NOTIFY, static_cast<WPARAM>(c.id), reinterpret_cast<LPARAM>(&header));
}

void MoveTrackbar(DialogRecord& d, ControlRecord& c, int position) {
    if (!c.enabled || !d.enabled || c.kind != ControlKind::Trackbar) return;
    c.position = Clamp(position, c.rangeMin, c.rangeMax);
    Notify(d, c);
    const UINT message = (c.style & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    SendToDialog(d, message, MAKEWPARAM(TB_THUMBPOSITION, static_cast<WORD>(c.position)),
                 reinterpret_cast<LPARAM>(c.handle));
    SendToDialog(d, message, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(c.handle));
}

void SetFocusControl(DialogRecord& d, int index) {
    if (index == d.focus) return;
    d.focus = index;
    if (d.view) d.view->Refocus(d);
}

void PressKey(DialogRecord& d, WPARAM key, bool shift) {
    if (!d.enabled) return;
    ControlRecord* focused = d.focus >= 0 ? &d.controls[static_cast<size_t>(d.focus)] : nullptr;
    switch (key) {
        case VK_ESCAPE: {
            ControlRecord* cancel = d.Find(IDCANCEL);
            if (cancel && !cancel->enabled) return;
            SendToDialog(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel ? cancel->handle : nullptr));
            return;
        }
        case VK_RETURN: {
            if (focused && focused->kind == ControlKind::PushButton) {
                ClickControl(d, *focused);
                return;
            }
            LRESULT def = SendToDialog(d, DM_GETDEFID, 0, 0);
            const int id = HIWORD(def) == kHasDefaultId ? LOWORD(def) : IDOK;
            ControlRecord* button = d.Find(id);
            if (button && !button->enabled) return;
            SendToDialog(d, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                         reinterpret_cast<LPARAM>(button ? button->handle : nullptr));
            return;
        }
        case VK_TAB:
            SetFocusControl(d, NextFocus(d, d.focus, shift));
            return;
        case VK_SPACE:
            if (focused && (focused->kind == ControlKind::PushButton || focused->kind == ControlKind::CheckBox ||
                            focused->kind == ControlKind::RadioButton))
                ClickControl(d, *focused);
            return;
        default:
            return;
    }
}

char16_t MnemonicOf(const std::u16string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] != u'&') return FoldMnemonic(text[i + 1]);
        ++i;  // "&&" is a literal "&"
    }
    return 0;
}

char16_t FoldMnemonic(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

void ActivateMnemonic(DialogRecord& d, ControlRecord& c) {
    if (!d.enabled || !c.enabled || !c.visible) return;
    const int index = static_cast<int>(&c - d.controls.data());
    switch (c.kind) {
        case ControlKind::Static:
        case ControlKind::GroupBox:
            // A label names the control after it: the focus goes to the next
            // tab stop.
            if (const int next = NextFocus(d, index, false); next >= 0) SetFocusControl(d, next);
            return;
        case ControlKind::PushButton:
            ClickControl(d, c);
            return;
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            SetFocusControl(d, index);
            ClickControl(d, c);
            return;
        default:
            SetFocusControl(d, index);
            return;
    }
}

void PressMnemonic(DialogRecord& d, char16_t letter) {
    if (!d.enabled || letter == 0) return;
    letter = FoldMnemonic(letter);
    // From the control after the focus on, so that a letter two controls
    // share reaches each in turn.
    const int n = static_cast<int>(d.controls.size());
    for (int step = 1; step <= n; ++step) {
        const int i = ((d.focus < 0 ? -1 : d.focus) + step) % n;
        ControlRecord& c = d.controls[static_cast<size_t>(i)];
        if (!c.enabled || !c.visible || (c.kind == ControlKind::Static && (c.style & SS_NOPREFIX))) continue;
        if (MnemonicOf(c.text) != letter) continue;
        ActivateMnemonic(d, c);
        return;
    }
}

void PressCloseBox(DialogRecord& d) {
    if (d.enabled) SendToDialog(d, WM_CLOSE, 0, 0);
}

bool IsDialogHandle(HWND window) { return FindDialog(window) || FindControlOwner(window, nullptr); }

LRESULT SendDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (DialogRecord* d = FindDialog(window)) return SendToDialog(*d, message, wParam, lParam);
    ControlRecord* c = nullptr;
    if (DialogRecord* d = FindControlOwner(window, &c)) return ControlMessage(*d, *c, message, wParam, lParam);
    return 0;
}

bool SetDialogHandleText(HWND window, const std::u16string& text) {
    if (!IsDialogHandle(window)) return false;
    SendDialogMessage(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return true;
}

bool GetDialogHandleText(HWND window, std::u16string* text) {
    if (DialogRecord* d = FindDialog(window)) {
        *text = d->title;
        return true;
    }
    ControlRecord* c = nullptr;
    if (FindControlOwner(window, &c)) {
        *text = c->text;
        return true;
    }
    return false;
}

bool IsDialogHandleVisible(HWND window) {
    if (FindDialog(window)) return true;
    ControlRecord* c = nullptr;
    return FindControlOwner(window, &c) && c->visible;
}

HWND DialogHandleParent(HWND window) {
    if (DialogRecord* d = FindDialog(window)) return d->owner;
    if (DialogRecord* d = FindControlOwner(window, nullptr)) return d->handle;
    return nullptr;
}

bool EnableDialog(HWND dialog, bool enable) {
    DialogRecord* d = FindDialog(dialog);
    if (!d) return false;
    SetEnabled(*d, nullptr, enable);
    return true;
}

DialogView* HeadlessDialogView() {
    static HeadlessView view;
    return &view;
}

}  // namespace tessaloom::win32

using namespace tessaloom::win32;

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
    g_commonClasses |= init->dwICC;
    return TRUE;
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM param) {
    auto record = std::make_unique<DialogRecord>();
    DialogRecord& d = *record;
    d.templateId = IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<uintptr_t>(name)) : 0;
    std::string why;
    if (!tessaloom::LoadDialogTemplate(instance, name, d.layout, &why)) {
        std::fprintf(stderr, "tessaloom: DialogBoxParamW: template %d: %s\n", d.templateId,
                     why.empty() ? "not found" : why.c_str());
        return -1;
    }
    for (const auto& item : d.layout.controls) {
        ControlRecord c;
        if (!BuildControl(item, c, why)) {
            std::fprintf(stderr, "tessaloom: DialogBoxParamW: template %d, control %d: %s\n", d.templateId,
                         static_cast<int>(item.id), why.c_str());
            return -1;
        }
        c.handle = reinterpret_cast<HWND>(g_nextHandle);
        g_nextHandle += 4;
        d.controls.push_back(std::move(c));
    }
    d.handle = reinterpret_cast<HWND>(g_nextHandle);
    g_nextHandle += 4;
    d.proc = proc;
    d.title = d.layout.title;
    DialogRecord* ownerDialog = FindDialog(owner);
    if (owner && !ownerDialog && !IsWindow(owner)) {
        std::fprintf(stderr, "tessaloom: DialogBoxParamW: owner %llu is no window; the dialog has none\n",
                     static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(owner)));
        owner = nullptr;
    }
    d.owner = owner;
    DialogView* view = nullptr;
    if (!g_forceHeadless && GtkReady()) view = GtkDialogView();
    if (!view) view = HeadlessDialogView();
    d.view = view;
    g_dialogs.push_back(std::move(record));
    if (!view->Open(d)) {
        g_dialogs.pop_back();
        return -1;
    }
    if (ownerDialog) SetEnabled(*ownerDialog, nullptr, false);

    const int firstStop = NextFocus(d, -1, false);
    const HWND firstHandle = firstStop >= 0 ? d.controls[static_cast<size_t>(firstStop)].handle : nullptr;
    CallProc(d, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstHandle), param);
    if (d.focus < 0) SetFocusControl(d, firstStop);
    if (!d.ended) view->RunModal(d);

    view->Close(d);
    const INT_PTR result = d.result;
    if (ownerDialog) SetEnabled(*ownerDialog, nullptr, true);
    auto it = std::find_if(g_dialogs.begin(), g_dialogs.end(), [&](auto& p) { return p.get() == &d; });
    g_dialogs.erase(it);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    DialogRecord* d = FindDialog(dialog);
    if (!d) return FALSE;
    d->ended = true;
    d->result = result;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    DialogRecord* d = FindDialog(dialog);
    ControlRecord* c = d ? d->Find(id) : nullptr;
    return c ? c->handle : nullptr;
}

int GetDlgCtrlID(HWND control) {
    ControlRecord* c = nullptr;
    return FindControlOwner(control, &c) ? c->id : 0;
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return FALSE;
    SendDialogMessage(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    return TRUE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxCount) {
    HWND control = GetDlgItem(dialog, id);
    if (!text || maxCount <= 0) return 0;
    text[0] = 0;
    if (!control) return 0;
    return static_cast<UINT>(SendDialogMessage(control, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                               reinterpret_cast<LPARAM>(text)));
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SendDialogMessage(control, message, wParam, lParam) : 0;
}

BOOL EnableWindow(HWND window, BOOL enable) {
    ControlRecord* c = nullptr;
    DialogRecord* d = FindDialog(window);
    if (!d) d = FindControlOwner(window, &c);
    if (!d) {
        std::fprintf(stderr, "tessaloom: EnableWindow: %llu is no dialog or control\n",
                     static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
        return FALSE;
    }
    const bool wasDisabled = c ? !c->enabled : !d->enabled;
    SetEnabled(*d, c, enable != FALSE);
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
    ControlRecord* c = nullptr;
    if (DialogRecord* d = FindDialog(window)) return d->enabled;
    if (FindControlOwner(window, &c)) return c->enabled;
    return IsWindow(window);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return FALSE;
    SendDialogMessage(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control ? static_cast<UINT>(SendDialogMessage(control, BM_GETCHECK, 0, 0)) : BST_UNCHECKED;
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
    DialogRecord* d = FindDialog(dialog);
    if (!d) return FALSE;
    for (auto& c : d->controls) {
        if (c.id < first || c.id > last) continue;
        UINT want = c.id == check ? BST_CHECKED : BST_UNCHECKED;
        if (c.check != want) {
            c.check = want;
            if (d->view) d->view->Changed(*d, c);
        }
    }
    return TRUE;
}

namespace tessaloom::test {

void SetHeadlessDialogs(bool headless) { g_forceHeadless = headless; }

void ResetCommonControls() { g_commonClasses = 0; }

DialogDriver SetDialogDriver(DialogDriver driver) {
    DialogDriver previous = std::move(g_driver);
    g_driver = std::move(driver);
    return previous;
}

namespace {
template <typename Action>
bool Act(HWND dialog, int id, Action&& action) {
    DialogRecord* d = FindDialog(dialog);
    ControlRecord* c = d ? d->Find(id) : nullptr;
    if (!c) return false;
    action(*d, *c);
    return true;
}
}  // namespace

bool ClickDialogItem(HWND dialog, int id) {
    return Act(dialog, id, [](DialogRecord& d, ControlRecord& c) { ClickControl(d, c); });
}
bool ChooseDialogComboItem(HWND dialog, int id, int index) {
    return Act(dialog, id, [index](DialogRecord& d, ControlRecord& c) { ChooseComboItem(d, c, index); });
}
bool ChooseDialogTab(HWND dialog, int id, int index) {
    return Act(dialog, id, [index](DialogRecord& d, ControlRecord& c) { ChooseTab(d, c, index); });
}
bool MoveDialogTrackbar(HWND dialog, int id, int position) {
    return Act(dialog, id, [position](DialogRecord& d, ControlRecord& c) { MoveTrackbar(d, c, position); });
}
bool PressDialogKey(HWND dialog, WPARAM key, bool shift) {
    DialogRecord* d = FindDialog(dialog);
    if (!d) return false;
    PressKey(*d, key, shift);
    return true;
}
bool PressDialogMnemonic(HWND dialog, char16_t letter) {
    DialogRecord* d = FindDialog(dialog);
    if (!d) return false;
    PressMnemonic(*d, letter);
    return true;
}
bool PressDialogCloseBox(HWND dialog) {
    DialogRecord* d = FindDialog(dialog);
    if (!d) return false;
    PressCloseBox(*d);
    return true;
}
int DialogFocusId(HWND dialog) {
    DialogRecord* d = FindDialog(dialog);
    if (!d || d->focus < 0) return 0;
    return d->controls[static_cast<size_t>(d->focus)].id;
}
bool IsDialogOpen(HWND dialog) {
    DialogRecord* d = FindDialog(dialog);
    return d && !d->ended;
}

}  // namespace tessaloom::test
