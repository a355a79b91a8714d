#!/usr/bin/env python3
"""xwd2png.py IN.xwd OUT.png: an X window dump (ZPixmap, 24/32 bits per pixel)
as an RGB PNG, for machines without ImageMagick."""
import struct
import sys
import zlib


def main(src, dst):
    data = open(src, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    (header_size, _version, pixmap_format, _depth, width, height, _xoffset, byte_order, _unit, _bit_order,
     _pad, bits_per_pixel, bytes_per_line, _visual, red_mask, green_mask, blue_mask, _bits_rgb,
     _entries, ncolors) = fields[:20]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32):
        sys.exit("xwd2png: only 24- and 32-bit ZPixmap dumps are handled")
    offset = header_size + ncolors * 12
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"

    def shift(mask):
        s = 0
        while mask and not (mask >> s) & 1:
            s += 1
        return s

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = bytearray()
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        rows.append(0)
        for x in range(0, width * step, step):
            v = int.from_bytes(line[x:x + step], order)
            rows += bytes(((v & red_mask) >> rs, (v & green_mask) >> gs, (v & blue_mask) >> bs))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b"")
    open(dst, "wb").write(png)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: xwd2png.py IN.xwd OUT.png")
    main(sys.argv[1], sys.argv[2])
