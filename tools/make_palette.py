#!/usr/bin/env python3
"""Writes app/assets/palette.png, the colour palette shown by the main window.

The image is 627 x 377 pixels, 8-bit RGBA, every pixel opaque: a one-pixel
white frame around 15 rows by 25 columns of flat 25 x 25 cells. Columns 1 to 24
are hues in steps of 15 degrees starting at red (row 8 holds the pure hues, the
rows above lighten them, the rows below darken them); column 25 is a grey ramp.

The cell table below is the one source of these colours. Only the standard
library is used (zlib and struct).
"""

import os
import struct
import sys
import zlib

# Cell colours as red, green, blue in hexadecimal; one line per row (rows 1 to
# 15), columns 1 to 25 left to right.
CELLS = """
FBEFEF FBF2EF FBF5EF FBF8EF FBFBEF F8FBEF F5FBEF F2FBEF EFFBEF EFFBF2 EFFBF5 EFFBF8 EFFBFB EFF8FB EFF5FB EFF2FB EFEFFB F2EFFB F5EFFB F8EFFB FBEFFB FBEFF8 FBEFF5 FBEFF2 FFFFFF
F8E0E0 F8E6E0 F8ECE0 F7F2E0 F7F8E0 F1F8E0 ECF8E0 E6F8E0 E0F8E0 E0F8E6 E0F8EC E0F8F1 E0F8F7 E0F2F7 E0ECF8 E0E6F8 E0E0F8 E6E0F8 ECE0F8 F2E0F7 F8E0F7 F8E0F1 F8E0EC F8E0E6 FAFAFA
F6CECE F6D8CE F6E3CE F5ECCE F5F6CE ECF6CE E3F6CE D8F6CE CEF6CE CEF6D8 CEF6E3 CEF6EC CEF6F5 CEECF5 CEE3F6 CED8F6 CECEF6 D8CEF6 E3CEF6 ECCEF5 F6CEF5 F6CEEC F6CEE3 F6CED8 F2F2F2
F5A9A9 F5BCA9 F5D0A9 F3E2A9 F2F5A9 E1F5A9 D0F5A9 BCF5A9 A9F5A9 A9F5BC A9F5D0 A9F5E1 A9F5F2 A9E2F3 A9D0F5 A9BCF5 A9A9F5 BCA9F5 D0A9F5 E2A9F3 F5A9F2 F5A9E1 F5A9D0 F5A9BC E6E6E6
F78181 F79F81 F7BE81 F5DA81 F3F781 D8F781 BEF781 9FF781 81F781 81F79F 81F7BE 81F7D8 81F7F3 81DAF5 81BEF7 819FF7 8181F7 9F81F7 BE81F7 DA81F5 F781F3 F781D8 F781BE F7819F D8D8D8
FA5858 FA8258 FAAC58 F7D358 F4FA58 D0FA58 ACFA58 82FA58 58FA58 58FA82 58FAAC 58FAD0 58FAF4 58D3F7 58ACFA 5882FA 5858FA 8258FA AC58FA D358F7 FA58F4 FA58D0 FA58AC FA5882 BDBDBD
FE2E2E FE642E FE9A2E FACC2E F7FE2E C8FE2E 9AFE2E 64FE2E 2EFE2E 2EFE64 2EFE9A 2EFEC8 2EFEF7 2ECCFA 2E9AFE 2E64FE 2E2EFE 642EFE 9A2EFE CC2EFA FE2EF7 FE2EC8 FE2E9A FE2E64 A4A4A4
FF0000 FF4000 FF8000 FFBF00 FFFF00 BFFF00 80FF00 40FF00 00FF00 00FF40 00FF80 00FFBF 00FFFF 00BFFF 0080FF 0040FF 0000FF 4000FF 8000FF BF00FF FF00FF FF00BF FF0080 FF0040 848484
DF0101 DF3A01 DF7401 DBA901 D7DF01 A5DF00 74DF00 3ADF00 01DF01 01DF3A 01DF74 01DFA5 01DFD7 01A9DB 0174DF 013ADF 0101DF 3A01DF 7401DF A901DB DF01D7 DF01A5 DF0174 DF013A 6E6E6E
B40404 B43104 B45F04 B18904 AEB404 86B404 5FB404 31B404 04B404 04B431 04B45F 04B486 04B4AE 0489B1 045FB4 0431B4 0404B4 3104B4 5F04B4 8904B1 B404AE B40486 B4045F B40431 585858
8A0808 8A2908 8A4B08 886A08 868A08 688A08 4B8A08 298A08 088A08 088A29 088A4B 088A68 088A85 086A87 084B8A 08298A 08088A 29088A 4B088A 6A0888 8A0886 8A0868 8A084B 8A0829 424242
610B0B 61210B 61380B 5F4C0B 5E610B 4B610B 38610B 21610B 0B610B 0B6121 0B6138 0B614B 0B615E 0B4C5F 0B3861 0B2161 0B0B61 210B61 380B61 4C0B5F 610B5E 610B4B 610B38 610B21 2E2E2E
3B0B0B 3B170B 3B240B 3A2F0B 393B0B 2E3B0B 243B0B 173B0B 0B3B0B 0B3B17 0B3B24 0B3B2E 0B3B39 0B2F3A 0B243B 0B173B 0B0B3B 170B3B 240B3B 2F0B3A 3B0B39 3B0B2E 3B0B24 3B0B17 1C1C1C
2A0A0A 2A120A 2A1B0A 29220A 292A0A 222A0A 1B2A0A 122A0A 0A2A0A 0A2A12 0A2A1B 0A2A22 0A2A29 0A2229 0A1B2A 0A122A 0A0A2A 120A2A 1B0A2A 220A29 2A0A29 2A0A22 2A0A1B 2A0A12 151515
190707 190B07 191007 181407 181907 141907 101907 0B1907 071907 07190B 071910 071914 071918 071418 071019 070B19 070719 0B0719 100719 140718 190718 190714 190710 19070B 000000
"""

ROWS = 15
COLUMNS = 25
CELL = 25
WIDTH = 1 + COLUMNS * CELL + 1
HEIGHT = 1 + ROWS * CELL + 1
FRAME = (0xFF, 0xFF, 0xFF)


def parse_cells(text):
    rows = []
    for line in text.strip().splitlines():
        cells = []
        for token in line.split():
            value = int(token, 16)
            cells.append(((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF))
        if len(cells) != COLUMNS:
            raise ValueError("row %d has %d cells" % (len(rows) + 1, len(cells)))
        rows.append(cells)
    if len(rows) != ROWS:
        raise ValueError("%d rows instead of %d" % (len(rows), ROWS))
    return rows


def pixel_rows(cells):
    frame_row = bytes(FRAME + (0xFF,)) * WIDTH
    yield frame_row
    for row in cells:
        line = bytearray(FRAME + (0xFF,))
        for rgb in row:
            line += bytes(rgb + (0xFF,)) * CELL
        line += bytes(FRAME + (0xFF,))
        line = bytes(line)
        for _ in range(CELL):
            yield line
    yield frame_row


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(rows, width, height):
    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "app", "assets", "palette.png")
    data = encode_png(pixel_rows(parse_cells(CELLS)), WIDTH, HEIGHT)
    with open(out, "wb") as f:
        f.write(data)
    print("%s: %d bytes" % (out, len(data)))


if __name__ == "__main__":
    main()
