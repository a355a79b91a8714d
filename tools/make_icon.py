#!/usr/bin/env python3
"""Draws the saver's icon (a flame drop on a dark disc) and writes it as
resources/saver.ico with 32x32 and 16x16 images in 32-bit colour.

    tools/make_icon.py resources/saver.ico
"""
import math
import struct
import sys


def pixel(x, y, size):
    # Coordinates in 0..1, y up.
    u = (x + 0.5) / size
    v = 1.0 - (y + 0.5) / size
    dx, dy = u - 0.5, v - 0.5
    r = math.hypot(dx, dy)
    if r > 0.48:
        return (0, 0, 0, 0)
    # A flame: a drop whose width narrows toward the top.
    fy = (v - 0.12) / 0.78
    inside = 0.0 <= fy <= 1.0 and abs(dx) < 0.30 * math.sin(math.pi * min(1.0, fy * 0.9 + 0.1)) * (1.0 - fy) ** 0.6
    if inside:
        heat = max(0.0, 1.0 - fy)
        red = 255
        green = int(80 + 170 * heat)
        blue = int(40 * heat * heat)
        return (red, green, blue, 255)
    shade = int(40 + 30 * (1.0 - r / 0.48))
    return (shade // 2, shade // 3, shade, 255)


def image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = b"".join(struct.pack("BBBB", b, g, r, a) for (r, g, b, a) in (pixel(x, y, size) for x in range(size)))
        rows.append(row)
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)  # transparency comes from alpha
    return header + b"".join(rows) + mask


def main(path):
    sizes = [32, 16]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/saver.ico")
