#include "platform/com/objbase.h"

#include <cstdio>
#include <random>

namespace {
int g_comInitCount = 0;

int HexValue(WCHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}
}  // namespace

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

HRESULT CoInitializeEx(void*, DWORD) {
    // Repeated start-up on one thread answers S_FALSE, as COM does.
    return g_comInitCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (g_comInitCount > 0) --g_comInitCount;
}

HRESULT CoCreateGuid(GUID* guid) {
    if (!guid) return E_INVALIDARG;
    static thread_local std::mt19937_64 engine{std::random_device{}()};
    uint64_t a = engine(), b = engine();
    BYTE bytes[16];
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<BYTE>(a >> (8 * i));
        bytes[8 + i] = static_cast<BYTE>(b >> (8 * i));
    }
    std::memcpy(guid, bytes, sizeof(GUID));
    guid->Data3 = static_cast<WORD>((guid->Data3 & 0x0FFF) | 0x4000);        // version 4
    guid->Data4[0] = static_cast<BYTE>((guid->Data4[0] & 0x3F) | 0x80);     // RFC 4122 variant
    return S_OK;
}

int StringFromGUID2(REFGUID guid, WCHAR* text, int cchMax) {
    constexpr int kLength = 38;
    if (!text || cchMax < kLength + 1) return 0;
    char narrow[kLength + 1];
    std::snprintf(narrow, sizeof narrow, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    for (int i = 0; i <= kLength; ++i) text[i] = static_cast<WCHAR>(narrow[i]);
    return kLength + 1;
}

HRESULT CLSIDFromString(const WCHAR* text, CLSID* clsid) {
    if (!clsid) return E_INVALIDARG;
    *clsid = GUID_NULL;
    if (!text) return CO_E_CLASSSTRING;
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    static constexpr int kDashes[] = {9, 14, 19, 24};
    for (int i = 0; i < 38; ++i)
        if (!text[i]) return CO_E_CLASSSTRING;
    if (text[0] != u'{' || text[37] != u'}' || text[38] != 0) return CO_E_CLASSSTRING;
    BYTE nibbles[32];
    int n = 0;
    for (int i = 1; i < 37; ++i) {
        bool dash = false;
        for (int d : kDashes) dash = dash || d == i;
        if (dash) {
            if (text[i] != u'-') return CO_E_CLASSSTRING;
            continue;
        }
        const int v = HexValue(text[i]);
        if (v < 0) return CO_E_CLASSSTRING;
        nibbles[n++] = static_cast<BYTE>(v);
    }
    auto take = [&](int first, int count) {
        uint32_t v = 0;
        for (int k = 0; k < count; ++k) v = (v << 4) | nibbles[first + k];
        return v;
    };
    GUID g;
    g.Data1 = take(0, 8);
    g.Data2 = static_cast<WORD>(take(8, 4));
    g.Data3 = static_cast<WORD>(take(12, 4));
    for (int k = 0; k < 8; ++k) g.Data4[k] = static_cast<BYTE>(take(16 + 2 * k, 2));
    *clsid = g;
    return S_OK;
}

HRESULT IIDFromString(const WCHAR* text, IID* iid) { return CLSIDFromString(text, iid); }
