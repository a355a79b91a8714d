#include "platform/win32/rc_icon.h"

#include <cstdlib>
#include <cstring>

#include "platform/win32/resources.h"

namespace tessaloom {

namespace {

uint32_t U16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return U16(p) | (U16(p + 2) << 16); }

bool Fail(std::string* error, const std::string& text) {
    if (error) *error = "icon: " + text;
    return false;
}

const uint8_t* Lock(HMODULE module, LPCWSTR name, LPCWSTR type, DWORD& size) {
    HRSRC found = FindResourceW(module, name, type);
    if (!found) return nullptr;
    size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    return loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
}

}  // namespace

bool DecodeIconImage(const uint8_t* data, size_t size, IconImage& out, std::string* error) {
    out = {};
    if (!data || size < 40) return Fail(error, "image shorter than its header");
    if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) return Fail(error, "PNG images are not supported");
    const uint32_t headerSize = U32(data);
    const auto width = static_cast<int32_t>(U32(data + 4));
    const auto doubledHeight = static_cast<int32_t>(U32(data + 8));
    const uint32_t bits = U16(data + 14);
    const uint32_t compression = U32(data + 16);
    if (headerSize < 40 || headerSize > size) return Fail(error, "bad bitmap header size");
    if (width < 1 || width > 256 || doubledHeight < 2 || doubledHeight > 512 || doubledHeight % 2)
        return Fail(error, "bad image size");
    if (compression != 0) return Fail(error, "compressed bitmaps are not supported");
    if (bits != 24 && bits != 32) return Fail(error, std::to_string(bits) + "-bit images are not supported");
    const int height = doubledHeight / 2;
    const size_t colourStride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    const size_t colourBytes = colourStride * static_cast<size_t>(height);
    const size_t maskBytes = maskStride * static_cast<size_t>(height);
    if (size - headerSize < colourBytes + maskBytes) return Fail(error, "image data cut short");
    const uint8_t* colour = data + headerSize;
    const uint8_t* mask = colour + colourBytes;

    out.width = width;
    out.height = height;
    out.rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = colour + colourStride * static_cast<size_t>(height - 1 - y);  // stored bottom-up
        const uint8_t* maskRow = mask + maskStride * static_cast<size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + static_cast<size_t>(x) * (bits / 8);
            uint8_t* q = &out.rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
            bool transparent = (maskRow[x / 8] >> (7 - x % 8)) & 1;
            q[3] = bits == 32 ? p[3] : (transparent ? 0 : 255);
            anyAlpha = anyAlpha || (bits == 32 && p[3] != 0);
        }
    }
    // A 32-bit image without any alpha takes its transparency from the mask.
    if (bits == 32 && !anyAlpha) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* maskRow = mask + maskStride * static_cast<size_t>(height - 1 - y);
            for (int x = 0; x < width; ++x) {
                bool transparent = (maskRow[x / 8] >> (7 - x % 8)) & 1;
                out.rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4 + 3] =
                    transparent ? 0 : 255;
            }
        }
    }
    return true;
}

bool LoadIconImage(HMODULE module, LPCWSTR name, int preferredSize, IconImage& out, std::string* error) {
    DWORD size = 0;
    const uint8_t* dir = Lock(module, name, RT_GROUP_ICON, size);
    if (!dir) return Fail(error, "no such group icon");
    if (size < 6 || U16(dir) != 0 || U16(dir + 2) != 1) return Fail(error, "bad group icon header");
    const uint32_t count = U16(dir + 4);
    if (count == 0 || size < 6 + 14 * static_cast<size_t>(count)) return Fail(error, "group icon directory cut short");
    int best = -1;
    int bestDistance = 0;
    for (uint32_t i = 0; i < count; ++i) {
        int w = dir[6 + 14 * i] ? dir[6 + 14 * i] : 256;
        int distance = std::abs(w - preferredSize);
        if (best < 0 || distance < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
        }
    }
    const WORD id = static_cast<WORD>(U16(dir + 6 + 14 * static_cast<size_t>(best) + 12));
    DWORD imageSize = 0;
    const uint8_t* image = Lock(module, MAKEINTRESOURCEW(id), RT_ICON, imageSize);
    if (!image) return Fail(error, "group icon names a missing image " + std::to_string(id));
    return DecodeIconImage(image, imageSize, out, error);
}

}  // namespace tessaloom
