"""The picture of the program's icon, drawn for each size it is shown at.

Used by make_icon.py (the Windows program's .ico) and make_desktop_icons.py
(the Linux desktop's PNG icons), so both platforms show the same pixels.

Every size is a grid of palette cells (make_palette.py's cell table: light to
dark top to bottom, hues left to right), each cell a whole number of pixels,
with a mark over it:
  - from 24 pixels up, the picker pad's reticle (make_reticle.py) at a
    whole-number scale, so its pixels stay sharp: its black and white pixels
    drawn, its clear ones showing the cells;
  - below that, where the 19-pixel reticle leaves no cells around it, a plain
    crosshair: a black line with a white one either side.
The sizes are those Windows and the desktops ask for at display scales of
100 % to 200 %: small icons 16, 20, 24, 32; large ones 32, 40, 48, 64; 256
for the largest views.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_palette  # noqa: E402
import make_reticle  # noqa: E402

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)

BLACK = (0x00, 0x00, 0x00, 0xFF)
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)

# Rows and columns of the cell table, from 1: eight by eight cells where the
# reticle is drawn, four by four under the crosshair.
RETICLE_ROWS = (2, 4, 6, 8, 9, 10, 11, 13)
RETICLE_COLUMNS = (1, 4, 7, 10, 13, 16, 19, 22)
CROSSHAIR_ROWS = (4, 8, 10, 12)
CROSSHAIR_COLUMNS = (1, 7, 13, 19)

# The reticle is 19 pixels on the 32-pixel icon; each size keeps about that
# share, at a whole scale.
RETICLE_SHARE = 19 / 32
# The smallest size with room for the reticle and a ring of cells around it.
RETICLE_FROM = 24
# The crosshair's arms stop this many pixels short of the edges.
CROSSHAIR_MARGIN = 2
RETICLE_COLOURS = {"B": BLACK, "W": WHITE, "X": WHITE}


def cells_image(cells, size, rows, columns):
    """size x size pixels of palette cells; cell edges fall on whole pixels
    when size divides by the number of cells."""
    block = size / len(columns)
    return [[cells[rows[int(y // block)] - 1][columns[int(x // block)] - 1] + (0xFF,) for x in range(size)]
            for y in range(size)]


def reticle_scale(size):
    return max(1, round(size * RETICLE_SHARE / len(make_reticle.parse_picture(make_reticle.PICTURE))))


def with_reticle(cells, size):
    image = cells_image(cells, size, RETICLE_ROWS, RETICLE_COLUMNS)
    picture = make_reticle.parse_picture(make_reticle.PICTURE)
    scale = reticle_scale(size)
    spare = size - len(picture) * scale
    # An odd pixel to spare goes to the left and to the bottom, which puts the
    # reticle's centre on the cursor's hot spot at 32 pixels.
    left, top = spare // 2, (spare + 1) // 2
    for ry, line in enumerate(picture):
        for rx, ch in enumerate(line):
            if ch not in RETICLE_COLOURS:
                continue
            for y in range(top + ry * scale, top + (ry + 1) * scale):
                for x in range(left + rx * scale, left + (rx + 1) * scale):
                    image[y][x] = RETICLE_COLOURS[ch]
    return image


def with_crosshair(cells, size):
    image = cells_image(cells, size, CROSSHAIR_ROWS, CROSSHAIR_COLUMNS)
    centre = size // 2 - 1
    for i in range(CROSSHAIR_MARGIN, size - CROSSHAIR_MARGIN):
        for (x, y) in ((i, centre), (centre, i)):
            image[y][x] = BLACK
        for (x, y) in ((i, centre - 1), (i, centre + 1), (centre - 1, i), (centre + 1, i)):
            if image[y][x] != BLACK:
                image[y][x] = WHITE
    return image


def draw(size, cells=None):
    """The icon at size x size pixels as rows of (r, g, b, a), top row first."""
    if cells is None:
        cells = make_palette.parse_cells(make_palette.CELLS)
    return with_reticle(cells, size) if size >= RETICLE_FROM else with_crosshair(cells, size)


def png(size, cells=None):
    """The icon at size x size pixels as an 8-bit RGBA PNG file."""
    rows = [b"".join(bytes(p) for p in line) for line in draw(size, cells)]
    return make_palette.encode_png(rows, size, size)
