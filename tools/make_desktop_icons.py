#!/usr/bin/env python3
"""Writes the icons of the Linux desktop, packaging/linux/icons/SIZExSIZE/tinctora.png.

One PNG for each size in icon_picture.SIZES, the same pictures as the
Windows program's icon (icon_picture.py draws both).

  tools/make_desktop_icons.py         writes every size into packaging/linux/icons/
  tools/make_desktop_icons.py DIR     writes DIR/SIZExSIZE/tinctora.png instead
  tools/make_desktop_icons.py --sizes prints the folder names, 16x16 ..., one a line
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import icon_picture  # noqa: E402
import make_palette  # noqa: E402


def folders():
    return ["%dx%d" % (size, size) for size in icon_picture.SIZES]


def main():
    if sys.argv[1:] == ["--sizes"]:
        print("\n".join(folders()))
        return
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "packaging", "linux", "icons")
    cells = make_palette.parse_cells(make_palette.CELLS)
    for size, folder in zip(icon_picture.SIZES, folders()):
        data = icon_picture.png(size, cells)
        os.makedirs(os.path.join(out_dir, folder), exist_ok=True)
        path = os.path.join(out_dir, folder, "tinctora.png")
        with open(path, "wb") as f:
            f.write(data)
        print("%s: %d bytes" % (path, len(data)))


if __name__ == "__main__":
    main()
