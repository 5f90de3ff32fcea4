#!/usr/bin/env python3
"""Writes programs/windows/tinctora.ico, the icon of the Windows program.

One 32-bit image with alpha for each size in icon_picture.SIZES (16, 20, 24,
32, 40, 48, 64 and 256 pixels), each drawn for its size by icon_picture.py,
largest first. The 256-pixel image is stored as a PNG file, as Windows
expects at that size; the others as bitmaps.

  tools/make_icon.py [OUTPUT]
"""

import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import icon_picture  # noqa: E402
import make_palette  # noqa: E402

# From this size up an image is stored as PNG.
PNG_FROM = 256


def bitmap_image(image):
    """An icon bitmap: a 40-byte header of twice the height (colour plus
    mask), the BGRA pixels bottom row first, then an empty AND mask."""
    size = len(image)
    xor = bytearray()
    for row in reversed(image):  # bottom row first
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask = bytes(((size + 31) // 32) * 4 * size)  # the alpha decides
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + mask


def icon_file(sizes, cells):
    count = len(sizes)
    out = struct.pack("<HHH", 0, 1, count)
    offset = 6 + 16 * count
    bodies = []
    for size in sizes:
        if size >= PNG_FROM:
            body = icon_picture.png(size, cells)
        else:
            body = bitmap_image(icon_picture.draw(size, cells))
        # A width or height of 256 is written as 0.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
        bodies.append(body)
    return out + b"".join(bodies)


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "programs", "windows", "tinctora.ico")
    cells = make_palette.parse_cells(make_palette.CELLS)
    data = icon_file(sorted(icon_picture.SIZES, reverse=True), cells)
    with open(output, "wb") as f:
        f.write(data)
    print("%s: %d bytes" % (output, len(data)))


if __name__ == "__main__":
    main()
