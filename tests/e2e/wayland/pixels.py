#!/usr/bin/env python3
"""Pixels of screenshots for the Wayland end-to-end scripts, without an
imaging library: ImageMagick's convert turns a PNG into PPM, read here.

usage:
  pixels.py at FILE X Y [X Y...]      the colours (RRGGBB) at the points
  pixels.py differ A B L T R B        how many pixels of A and B differ
                                      outside the rectangle L,T-R,B (and
                                      where: "N in L,T-R,B", inclusive)
  pixels.py mark FILE                 the pixel the nudge mark frames ("X,Y"
                                      in FILE's pixels), or "none", or
                                      "unclear" when more than the mark shows
  pixels.py reticle FILE X Y          "yes" when the pick's cursor (the
                                      reticle, centred on X,Y) shows, else
                                      "no"
  pixels.py zoom SHOT L T R B FROZEN X Y
                                      compares the zoom view drawn in SHOT's
                                      rectangle L,T-R,B (its inside, without
                                      the border) with FROZEN's 21 x 21
                                      pixels centred on X,Y; prints
                                      "MATCHED/441" and the first mismatches
"""

import subprocess
import sys


class Picture:
    def __init__(self, path):
        data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
        # P6, width height, maxval, then the pixels (ImageMagick writes no comments).
        magic, size, maxval, self.data = data.split(b"\n", 3)
        if magic != b"P6" or maxval != b"255":
            raise SystemExit(f"{path}: not an 8-bit PPM from convert")
        self.width, self.height = map(int, size.split())

    def at(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return "outside"
        i = (y * self.width + x) * 3
        return self.data[i:i + 3].hex().upper()

    def rgb(self, x, y):
        i = (y * self.width + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]


def command_at(args):
    picture = Picture(args[0])
    points = list(map(int, args[1:]))
    print(" ".join(picture.at(points[i], points[i + 1]) for i in range(0, len(points), 2)))


def command_differ(args):
    a, b = Picture(args[0]), Picture(args[1])
    left, top, right, bottom = map(int, args[2:6])
    if (a.width, a.height) != (b.width, b.height):
        print(f"sizes {a.width}x{a.height} and {b.width}x{b.height}")
        return
    count, box = 0, None
    row = a.width * 3
    for y in range(a.height):
        ra, rb = a.data[y * row:(y + 1) * row], b.data[y * row:(y + 1) * row]
        if ra == rb:
            continue
        for x in range(a.width):
            if ra[x * 3:x * 3 + 3] != rb[x * 3:x * 3 + 3] and not (left <= x < right and top <= y < bottom):
                count += 1
                box = (min(box[0], x), min(box[1], y), max(box[2], x), max(box[3], y)) if box else (x, y, x, y)
    print(count if not box else "%d in %d,%d-%d,%d" % ((count,) + box))


def command_mark(args):
    # The mark is a black square frame one pixel wide from two pixels above
    # and left of the marked pixel to three below and right, inside a white
    # one: eight pixels across, the pixel a half right and down of their
    # middle. The compositor may drop some of the lines when it scales the
    # overlay by a fraction; the middle of what shows stays.
    picture = Picture(args[0])
    drawn = [(x, y) for y in range(picture.height) for x in range(picture.width)
             if picture.rgb(x, y) in ((0, 0, 0), (255, 255, 255))]
    if not drawn:
        print("none")
        return
    left, right = min(x for x, _ in drawn), max(x for x, _ in drawn)
    top, bottom = min(y for _, y in drawn), max(y for _, y in drawn)
    if not (5 <= right - left + 1 <= 9 and 5 <= bottom - top + 1 <= 9):
        print(f"unclear ({right - left + 1}x{bottom - top + 1} pixels)")
        return
    print(f"{(left + right) // 2},{(top + bottom) // 2}")


def command_reticle(args):
    # The reticle is drawn in pure black around its hot spot, to the left of
    # it as much as to the right; the desktop's arrow has no pure black and
    # nothing left of its tip.
    picture = Picture(args[0])
    cx, cy = int(args[1]), int(args[2])
    found = any(picture.rgb(x, y) == (0, 0, 0)
                for y in range(max(0, cy - 40), min(picture.height, cy + 40))
                for x in range(max(0, cx - 40), max(0, cx - 3)))
    print("yes" if found else "no")


def command_zoom(args):
    shot = Picture(args[0])
    left, top, right, bottom = map(int, args[1:5])
    frozen = Picture(args[5])
    cx, cy = int(args[6]), int(args[7])
    cell_w, cell_h = (right - left) / 21, (bottom - top) / 21
    matched, mismatches = 0, []
    for row in range(21):
        for column in range(21):
            # A quarter into the cell: away from its edges, which the
            # stretching blends, and from the cross the view draws through
            # its middle.
            x = left + int((column + 0.25) * cell_w)
            y = top + int((row + 0.25) * cell_h)
            shown, expected = shot.at(x, y), frozen.at(cx + column - 10, cy + row - 10)
            if shown == expected:
                matched += 1
            else:
                mismatches.append(f"cell {column},{row}: {shown} for {expected}")
    print(f"{matched}/441" + "".join(f"; {m}" for m in mismatches[:4]))


COMMANDS = {"at": command_at, "differ": command_differ, "mark": command_mark, "reticle": command_reticle,
            "zoom": command_zoom}

if __name__ == "__main__":
    if len(sys.argv) < 3 or sys.argv[1] not in COMMANDS:
        raise SystemExit(__doc__)
    COMMANDS[sys.argv[1]](sys.argv[2:])
