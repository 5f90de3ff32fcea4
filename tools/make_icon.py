#!/usr/bin/env python3
"""Writes the program's desktop icon, packaging/linux/icons/SIZE/tinctora.png.

The icon is drawn from the program's own assets: a wheel of the palette's 24
pure hues (row 8 of the cell table in make_palette.py) with two lighter rings
inside it (rows 6 and 4), a white centre, and on it the picker pad's reticle
(the picture in make_reticle.py) at a whole-number scale, so that its pixels
stay sharp. The wheel's edges are smoothed by 4 x 4 samples a pixel.

  tools/make_icon.py           writes every size into packaging/linux/icons/
  tools/make_icon.py DIR       writes DIR/SIZE/tinctora.png instead
"""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_palette  # noqa: E402
import make_reticle  # noqa: E402

SIZES = (48, 256)
SAMPLES = 4
# Rings from the outside in: palette row (1-based) and outer radius as a
# share of half the icon's width.
RINGS = ((8, 0.96), (6, 0.78), (4, 0.62))
CENTRE = 0.48  # radius of the white centre
WHITE = (0xFF, 0xFF, 0xFF)
RETICLE = {"B": (0x00, 0x00, 0x00), "W": (0xFF, 0xFF, 0xFF)}


def wheel_colour(cells, x, y, half):
    """Colour of the wheel at (x, y) measured from the centre, or None outside."""
    r = math.hypot(x, y) / half
    if r >= RINGS[0][1]:
        return None
    if r < CENTRE:
        return WHITE
    row = RINGS[0][0]
    for ring_row, outer in RINGS:
        if r < outer:
            row = ring_row
    # Red at the top, the hues following clockwise.
    angle = math.degrees(math.atan2(x, -y)) % 360.0
    column = int((angle + 7.5) // 15) % 24
    return cells[row - 1][column]


def draw(size, cells, picture):
    half = size / 2.0
    pixels = []
    for py in range(size):
        line = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES - half
                    y = py + (sy + 0.5) / SAMPLES - half
                    colour = wheel_colour(cells, x, y, half)
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            total[i] += colour[i]
            if covered:
                rgb = tuple((total[i] + covered // 2) // covered for i in range(3))
                alpha = (covered * 255 + SAMPLES * SAMPLES // 2) // (SAMPLES * SAMPLES)
                line.append(rgb + (alpha,))
            else:
                line.append((0, 0, 0, 0))
        pixels.append(line)

    # The reticle fills most of the white centre.
    side = len(picture)
    scale = max(1, int(2 * CENTRE * half * 0.9) // side)
    origin = (size - side * scale) // 2
    for ry, row in enumerate(picture):
        for rx, ch in enumerate(row):
            if ch not in RETICLE:
                continue
            for dy in range(scale):
                for dx in range(scale):
                    pixels[origin + ry * scale + dy][origin + rx * scale + dx] = RETICLE[ch] + (0xFF,)
    return [b"".join(bytes(p) for p in line) for line in pixels]


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
