// The resource container: our own file format for a resource module such as
// "common_res.dll".  It holds data only, never code.  All values little-endian.
//
//   offset  size  header
//        0     8  magic "TSLRESC" followed by 0x1A
//        8     4  format version (1)
//       12     4  entry count
//       16     4  offset of the entry table
//       20     4  size of the whole file in bytes
//       24     4  CRC-32 (IEEE, as zlib computes it) of every byte after the header
//       28     4  reserved, 0
//
//   entry (24 bytes each, `count` of them at the table offset)
//        0     4  type number (1..65535), or 0 when the type has a name
//        4     4  offset of the type name (UTF-16LE, upper case, no terminator); 0 for a number
//        8     4  length of the type name in UTF-16 units (1..kMaxTypeNameUnits); 0 for a number
//       12     4  resource number (1..65535)
//       16     4  offset of the resource bytes
//       20     4  size of the resource bytes
//
// Every offset and size lies inside the file and after the header; no two
// entries share a type and a number.  Bytes may be placed anywhere else.
// This header has no dependencies so that the writer in tools/ shares it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaloom::container {

inline constexpr char kMagic[8] = {'T', 'S', 'L', 'R', 'E', 'S', 'C', 0x1A};
inline constexpr uint32_t kVersion = 1;
inline constexpr size_t kHeaderSize = 32;
inline constexpr size_t kEntrySize = 24;
inline constexpr uint32_t kMaxTypeNameUnits = 64;

// CRC-32 with the IEEE polynomial (reflected 0xEDB88320), initial and final xor ~0.
struct Crc32Table {
    uint32_t value[256];
    constexpr Crc32Table() : value() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            value[i] = c;
        }
    }
};
inline constexpr Crc32Table kCrc32Table{};

inline uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = kCrc32Table.value[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

}  // namespace tessaloom::container
