#!/usr/bin/env python3
"""Writes programs/windows/tinctora.ico, the icon of the Windows program.

Two 32-bit images, 32 x 32 and 16 x 16: a grid of colour cells taken from
the palette image (app/assets/palette.png: hues left to right, light to dark
top to bottom) with the picker pad's reticle (tools/make_reticle.py) over
the large one and a plain crosshair over the small one.

  tools/make_icon.py [OUTPUT]
"""

import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import make_reticle  # noqa: E402


def read_png(path):
    """The pixels of an 8-bit RGB or RGBA PNG as rows of (r, g, b)."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + ": not a PNG file")
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    if depth != 8 or colour_type not in (2, 6) or interlace != 0:
        raise ValueError(path + ": only 8-bit RGB or RGBA without interlace")
    bpp = 4 if colour_type == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        previous = line
    return rows


def cell(palette, row, column):
    """The colour of a palette cell, rows and columns from 1."""
    return palette[25 * (row - 1) + 13][25 * (column - 1) + 13]


def cells_image(palette, size, rows, columns):
    block = size // len(columns)
    image = [[None] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            image[y][x] = cell(palette, rows[y // block], columns[x // block]) + (255,)
    return image


def large(palette):
    image = cells_image(palette, 32, [2, 4, 6, 8, 9, 10, 11, 13], [1, 4, 7, 10, 13, 16, 19, 22])
    picture = make_reticle.parse_picture(make_reticle.PICTURE)
    for y, line in enumerate(picture):
        for x, ch in enumerate(line):
            if ch == "B":
                image[make_reticle.TOP + y][make_reticle.LEFT + x] = (0, 0, 0, 255)
            elif ch in "WX":
                image[make_reticle.TOP + y][make_reticle.LEFT + x] = (255, 255, 255, 255)
    return image


def small(palette):
    image = cells_image(palette, 16, [4, 8, 10, 12], [1, 7, 13, 19])
    for i in range(2, 14):
        for (x, y) in ((i, 7), (7, i)):
            image[y][x] = (0, 0, 0, 255)
        for (x, y) in ((i, 6), (i, 8), (6, i), (8, i)):
            if image[y][x] != (0, 0, 0, 255):
                image[y][x] = (255, 255, 255, 255)
    return image


def icon_image(image):
    size = len(image)
    xor = bytearray()
    for row in reversed(image):  # bottom row first
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask = bytes(((size + 31) // 32) * 4 * size)  # the alpha decides
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + mask


def icon_file(images):
    count = len(images)
    out = struct.pack("<HHH", 0, 1, count)
    offset = 6 + 16 * count
    bodies = []
    for image in images:
        body = icon_image(image)
        size = len(image)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
        bodies.append(body)
    return out + b"".join(bodies)


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "programs", "windows", "tinctora.ico")
    palette = read_png(os.path.join(ROOT, "app", "assets", "palette.png"))
    with open(output, "wb") as f:
        f.write(icon_file([large(palette), small(palette)]))


if __name__ == "__main__":
    main()
