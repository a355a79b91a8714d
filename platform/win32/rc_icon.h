// Icons as the executable stores them (RT_GROUP_ICON naming RT_ICON images),
// decoded to RGBA pixels, e.g. for a window icon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/types.h"

namespace tessaloom {

struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // rows top to bottom, 4 bytes per pixel: R, G, B, A
};

// The image of group icon `name` whose size is nearest `preferredSize`.
// Images are bitmaps of 24 or 32 bits per pixel with their AND mask; other
// kinds (palettes, PNG images) are refused with a message, as is a damaged one.
bool LoadIconImage(HMODULE module, LPCWSTR name, int preferredSize, IconImage& out, std::string* error = nullptr);

// Decodes one RT_ICON image.
bool DecodeIconImage(const uint8_t* data, size_t size, IconImage& out, std::string* error = nullptr);

}  // namespace tessaloom
