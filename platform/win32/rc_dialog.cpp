#include "platform/win32/rc_dialog.h"

#include <cstring>

#include "platform/win32/resources.h"

namespace tessaloom {

namespace {

constexpr DWORD kSetFont = 0x40;

class Reader {
public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    bool Word(WORD& v) { return Bytes(&v, 2); }
    bool DWord(DWORD& v) { return Bytes(&v, 4); }
    bool Short(SHORT& v) { return Bytes(&v, 2); }
    bool Byte(BYTE& v) { return Bytes(&v, 1); }
    bool Bytes(void* out, size_t n) {
        if (n > size_ - at_) return false;
        std::memcpy(out, data_ + at_, n);
        at_ += n;
        return true;
    }
    bool String(std::u16string& out) {
        out.clear();
        for (;;) {
            WORD c;
            if (!Word(c)) return false;
            if (c == 0) return true;
            out.push_back(static_cast<char16_t>(c));
        }
    }
    bool NameOrOrdinal(TemplateName& out) {
        WORD first;
        if (!Word(first)) return false;
        out = {};
        if (first == 0) return true;
        if (first == 0xFFFF) return Word(out.ordinal);
        out.text.push_back(static_cast<char16_t>(first));
        std::u16string rest;
        if (!String(rest)) return false;
        out.text += rest;
        return true;
    }
    // Items start on a DWORD boundary from the template's start.
    bool AlignDWord() {
        size_t aligned = (at_ + 3) & ~static_cast<size_t>(3);
        if (aligned > size_) return false;
        at_ = aligned;
        return true;
    }

private:
    const BYTE* data_;
    size_t size_;
    size_t at_ = 0;
};

bool Fail(std::string* error, const char* what) {
    if (error) *error = std::string("dialog template: ") + what;
    return false;
}

}  // namespace

std::u16string DialogControl::ClassName() const {
    if (!windowClass.IsOrdinal()) return windowClass.text;
    switch (windowClass.ordinal) {
        case 0x80: return u"Button";
        case 0x81: return u"Edit";
        case 0x82: return u"Static";
        case 0x83: return u"ListBox";
        case 0x84: return u"ScrollBar";
        case 0x85: return u"ComboBox";
        default: return {};
    }
}

const DialogControl* DialogTemplate::FindControl(DWORD id) const {
    for (const auto& c : controls)
        if (c.id == id) return &c;
    return nullptr;
}

bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate& out, std::string* error) {
    out = {};
    if (!data) return Fail(error, "no data");
    Reader r(static_cast<const BYTE*>(data), size);
    WORD version = 0, signature = 0;
    if (size >= 4) {
        std::memcpy(&version, data, 2);
        std::memcpy(&signature, static_cast<const BYTE*>(data) + 2, 2);
    }
    out.extended = version == 1 && signature == 0xFFFF;
    WORD count = 0;
    if (out.extended) {
        if (!r.Word(version) || !r.Word(signature) || !r.DWord(out.helpId) || !r.DWord(out.exStyle) ||
            !r.DWord(out.style))
            return Fail(error, "header cut short");
    } else if (!r.DWord(out.style) || !r.DWord(out.exStyle)) {
        return Fail(error, "header cut short");
    }
    if (!r.Word(count) || !r.Short(out.x) || !r.Short(out.y) || !r.Short(out.cx) || !r.Short(out.cy))
        return Fail(error, "header cut short");
    if (!r.NameOrOrdinal(out.menu) || !r.NameOrOrdinal(out.windowClass) || !r.String(out.title))
        return Fail(error, "menu, class or title cut short");
    if (out.style & kSetFont) {
        out.hasFont = true;
        if (!r.Word(out.pointSize)) return Fail(error, "font cut short");
        if (out.extended && (!r.Word(out.weight) || !r.Byte(out.italic) || !r.Byte(out.charset)))
            return Fail(error, "font cut short");
        if (!r.String(out.typeface)) return Fail(error, "font name cut short");
    }
    for (WORD i = 0; i < count; ++i) {
        DialogControl c;
        if (!r.AlignDWord()) return Fail(error, "control cut short");
        bool ok;
        if (out.extended) {
            ok = r.DWord(c.helpId) && r.DWord(c.exStyle) && r.DWord(c.style) && r.Short(c.x) && r.Short(c.y) &&
                 r.Short(c.cx) && r.Short(c.cy) && r.DWord(c.id);
        } else {
            WORD id = 0;
            ok = r.DWord(c.style) && r.DWord(c.exStyle) && r.Short(c.x) && r.Short(c.y) && r.Short(c.cx) &&
                 r.Short(c.cy) && r.Word(id);
            c.id = id;
        }
        if (!ok || !r.NameOrOrdinal(c.windowClass) || !r.NameOrOrdinal(c.title))
            return Fail(error, "control cut short");
        WORD extra = 0;
        if (!r.Word(extra)) return Fail(error, "control cut short");
        // DLGTEMPLATE counts its size word in the creation data; the EX form does not.
        size_t bytes = out.extended ? extra : (extra >= 2 ? extra - 2u : 0u);
        c.creationData.resize(bytes);
        if (bytes && !r.Bytes(c.creationData.data(), bytes)) return Fail(error, "creation data cut short");
        out.controls.push_back(std::move(c));
    }
    return true;
}

bool LoadDialogTemplate(HMODULE module, LPCWSTR name, DialogTemplate& out, std::string* error) {
    HRSRC found = FindResourceW(module, name, RT_DIALOG);
    if (!found) return Fail(error, "no such dialog resource");
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return Fail(error, "dialog resource cannot be loaded");
    return ParseDialogTemplate(data, size, out, error);
}

}  // namespace tessaloom
