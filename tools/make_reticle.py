#!/usr/bin/env python3
"""Writes app/assets/reticle.cur, the 326-byte cursor file of the picker pad.

A 32 x 32 one-bit cursor: an icon directory with one entry (hot spot 15, 16),
a 40-byte bitmap info header of height 64 (colour bitmap plus mask), a
black/white palette, then the colour bitmap and the mask, each 32 rows of
4 bytes, bottom row first.

The picture below is the one source of the reticle. It sits at rows 7 to 25
and columns 6 to 24 of the cursor; everything around it is transparent.
  B black (mask 0, colour 0)   W white (mask 0, colour 1)
  - transparent (mask 1, colour 0)   X inverts the screen (mask 1, colour 1)
"""

import os
import struct
import sys

PICTURE = """
-------WWWWW-------
-----WWBBBBBWW-----
----WBBWWBWWBBW----
---WBW-BBBBB-WBW---
--WBW--WWBWW--WBW--
-WBW---BBBBB---WBW-
-WB-----WBW-----BW-
WBWBWB--BBB--BWBWBW
WBWBWBWB---BWBWBWBW
WBBBBBBB-X-BBBBBBBW
WBWBWBWB---BWBWBWBW
WBWBWB--BBB--BWBWBW
-WB-----WBW-----BW-
-WBW---BBBBB---WBW-
--WBW--WWBWW--WBW--
---WBW-BBBBB-WBW---
----WBBWWBWWBBW----
-----WWBBBBBWW-----
-------WWWWW-------
"""

SIZE = 32
TOP = 7
LEFT = 6
HOT_SPOT = (15, 16)
# (mask bit, colour bit) for each picture character.
BITS = {"B": (0, 0), "W": (0, 1), "-": (1, 0), "X": (1, 1)}


def parse_picture(text):
    rows = text.strip().splitlines()
    if len(rows) != 19 or any(len(r) != 19 for r in rows):
        raise ValueError("the picture must be 19 x 19")
    return rows


def planes(rows):
    """Mask and colour bits for the whole 32 x 32 cursor, top row first."""
    mask = [[1] * SIZE for _ in range(SIZE)]
    colour = [[0] * SIZE for _ in range(SIZE)]
    for y, line in enumerate(rows):
        for x, ch in enumerate(line):
            mask[TOP + y][LEFT + x], colour[TOP + y][LEFT + x] = BITS[ch]
    return colour, mask


def bitmap(plane):
    out = bytearray()
    for row in reversed(plane):  # bottom row first
        value = 0
        for bit in row:
            value = (value << 1) | bit
        out += struct.pack(">I", value)  # leftmost pixel in the high bit
    return bytes(out)


def cursor_file(rows):
    colour, mask = planes(rows)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 1, 0, 256, 0, 0, 0, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = info + palette + bitmap(colour) + bitmap(mask)
    header = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, HOT_SPOT[0], HOT_SPOT[1], len(image), 22)
    data = header + entry + image
    assert len(data) == 326, len(data)
    return data


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "app", "assets", "reticle.cur")
    data = cursor_file(parse_picture(PICTURE))
    with open(out, "wb") as f:
        f.write(data)
    print("%s: %d bytes" % (out, len(data)))


if __name__ == "__main__":
    main()
