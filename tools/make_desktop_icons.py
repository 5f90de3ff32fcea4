#!/usr/bin/env python3
"""Writes the icons of the Linux desktop, packaging/linux/icons/SIZE/tinctora.png.

The same picture as the Windows program's icon: eight by eight colour cells
of the palette (rows 2, 4, 6, 8, 9, 10, 11 and 13 and every third column of
the cell table in make_palette.py, light to dark top to bottom, hues left to
right) with the picker pad's reticle (make_reticle.py) over them, its black
and white pixels drawn and its clear ones showing the cells. The reticle is
drawn at a whole-number scale so its pixels stay sharp.

  tools/make_desktop_icons.py       writes every size into packaging/linux/icons/
  tools/make_desktop_icons.py DIR   writes DIR/SIZExSIZE/tinctora.png instead
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_palette  # noqa: E402
import make_reticle  # noqa: E402

SIZES = (48, 256)
ROWS = (2, 4, 6, 8, 9, 10, 11, 13)
COLUMNS = (1, 4, 7, 10, 13, 16, 19, 22)
# The reticle is 19 pixels on the 32-pixel Windows icon; each size keeps
# about that share, at a whole scale.
RETICLE_SHARE = 19 / 32
COLOURS = {"B": (0x00, 0x00, 0x00), "W": (0xFF, 0xFF, 0xFF), "X": (0xFF, 0xFF, 0xFF)}


def draw(size, cells, picture):
    block = size / len(COLUMNS)
    pixels = [[cells[ROWS[int(y // block)] - 1][COLUMNS[int(x // block)] - 1] for x in range(size)]
              for y in range(size)]
    side = len(picture)
    scale = max(1, round(size * RETICLE_SHARE / side))
    origin = (size - side * scale) // 2
    for ry, row in enumerate(picture):
        for rx, ch in enumerate(row):
            if ch not in COLOURS:
                continue
            for dy in range(scale):
                for dx in range(scale):
                    pixels[origin + ry * scale + dy][origin + rx * scale + dx] = COLOURS[ch]
    return [b"".join(bytes(p + (0xFF,)) for p in line) for line in pixels]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "packaging", "linux", "icons")
    cells = make_palette.parse_cells(make_palette.CELLS)
    picture = make_reticle.parse_picture(make_reticle.PICTURE)
    for size in SIZES:
        data = make_palette.encode_png(draw(size, cells, picture), size, size)
        folder = os.path.join(out_dir, "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "tinctora.png")
        with open(path, "wb") as f:
            f.write(data)
        print("%s: %d bytes" % (path, len(data)))


if __name__ == "__main__":
    main()
