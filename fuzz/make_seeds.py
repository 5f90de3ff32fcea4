#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/TARGET/.

Each seed is a small file that reaches one feature of the input: a number
form, a channel text, a picture kind. The fuzzers start from these; inputs
that once found a fault are kept beside them under names starting with
"regression-" and are not written here. Only the standard library is used.
Usage: fuzz/make_seeds.py [CORPUS_DIR]
"""

import os
import struct
import sys
import zlib

# --- text_to_real: texts as TextToReal reads them (GBK bytes) -------------

FW = lambda s: "".join(chr(0xA3) + chr(0x80 + ord(c)) for c in s).encode("latin-1")  # full width

NUMBER_TEXTS = {
    "plain": b"255",
    "fraction": b"12.5abc",
    "negative": b"-3",
    "exponent": b"2.5e-1",
    "d-exponent": b"1d2",
    "exponent-without-digits": b"1e+x",
    "overflow": b"1e999",
    "underflow": b"-1e-999",
    "subnormal": b"4.9406564584124654e-324",
    "halfway": b"9007199254740993",
    "long-mantissa": b"1" + b"0" * 80 + b"e-80",
    "white-space": b"\t\n\v\f\r 7",
    "hex": b"0x1F",
    "infinity-word": b"inf",
    "point-first": b"-.5",
    "full-width": b"\xA1\xA1" + FW("255"),
    "full-width-exponent": FW("-1.5e2"),
    "lone-lead-byte": b"12\xB0",
    "double-byte-stop": b"1\x81\x35",
    "nul-inside": b"12\x003",
}

# --- script_channels: three texts separated as FuzzedDataProvider's
# ConsumeRandomLengthString splits them (a backslash and any other byte).

CHANNELS = {
    "worked": (b"18", b"52", b"86"),
    "black": (b"0", b"0", b"0"),
    "white": (b"255", b"255", b"255"),
    "negative-red": (b"-5", b"0", b"0"),
    "minus-only": (b"-", b"52", b"86"),
    "empty": (b"", b"52", b"86"),
    "spaces-and-signs": (b" - 5 ", b"+ 7", b"\xA1\xA1" b"9\xA1\xA1"),
    "fractions": (b"12.5", b".3", b"254.99999"),
    "exponents": (b"1e300", b"2.55E+2", b"5.e0"),
    "infinite": (b"1e999", b"0", b"0"),
    "not-numbers": (b"0x1", b"1-2", b"NaN"),
    "leading-zeros": (b"012", b"007.5", b"00"),
}

# --- gbk: byte strings read as GBK, as UTF-8 and as UTF-16 units ---------

GBK_TEXTS = {
    "ascii": b"Hello, 1.5 ?",
    "hanzi": "颜色选择器".encode("gbk"),
    "gbk3-gbk4": b"\x81\x40\x9f\xfe\xaa\x40\xfe\xa0",
    "euro-and-ff": b"\x80 \xff",
    "user-defined": b"\xaa\xa1\xaf\xfe\xf8\xa1\xfe\xfe\xa1\x40\xa7\xa0",
    "lone-lead": b"\xb0\x0a\xb0\x22\xb0\x7f\xb0",
    "full-width": b"\xa3\xb1\xa3\xb2\xa1\xa1\xa1\xab",
    "utf8-hanzi": "颜色 €".encode("utf-8"),
    "utf8-supplementary": "\U0001F600x".encode("utf-8"),
    "utf8-overlong": b"\xc0\xaf\xe0\x80\xaf\xf0\x80\x80\xaf",
    "utf8-surrogate": b"\xed\xa0\x80\xed\xbf\xbf",
    "utf8-cut-short": b"\xe4\xb8 \xf0\x9f\x98",
    "utf8-above-max": b"\xf4\x90\x80\x80\xf5\x80",
    "utf8-no-gbk-form": "\u0e01\u00e9\u3042".encode("utf-8"),
    "utf16-surrogates": "a\U0001F600".encode("utf-16-le") + b"\x00\xd8a\x00\x00\xdc",
    "utf16-hanzi": "选择".encode("utf-16-le"),
}

# --- script_parser: scenario scripts, whole and broken ---------------------

SCRIPTS = {
    "start-expect": "# a comment\nstart\nexpect exit 0\n",
    "typing": "start\nfocus R编辑框\ntype R编辑框 \"1\\t2\\\"\\\\\"\nkey Backspace\nclear G编辑框\npaste\n",
    "pointer": "start\nmove-to 图片框7 0 0\npress\nmove 5 5\nrelease\npress-release\ndouble-click 图片框7 4 54\n",
    "menus": "start\nright-click 图片框2 choose \"复制(10进制)\"\nchoose-colour other 123456\nanswer menu cancel\n",
    "desktop": "primary 1920 1080 bpp 16\ndisplay -1280 0 1280 1024\ndesktop fill 0 0 100 100 336699\n",
    "faults": "fault unreadable 0 0 1920 1080\nother clipboard \"abcdef\"\nbusy on\n",
    "repeat": "start\nrepeat 100 click 图片框1\nslider-drag 滑块条1 51 102 153\nslider-channel 滑块条1 up\n",
    "events": "log events all\nstart\nexpect events \"main.Created\" \"main.Moved\"\ndeactivate\nactivate\nclose\n",
    "images": "start\nkeep-image 画板1 picked\nexpect 当前颜色.BackColour FF0000\nprint state PickActive\n",
    "crlf": "start\r\nkey Esc\r\nexpect exit 0\r\n",
    "blank-lines": "\n\n   \t\n# only comments\n\r\n",
    "unclosed-string": "start\ntype R编辑框 \"abc\n",
    "bad-escape": "start\ntype R编辑框 \"a\\qb\"\n",
    "unknown-command": "start\nfrobnicate 1 2\n",
    "quote-in-word": "sta\"rt\n",
    "extra-word": "start now\n",
    "not-gbk": "start\ntype R编辑框 \"\u0e01\"\n",
    "bad-number": "move 99999999999999 1\n",
}

# --- picture: PNG, BMP, icon and cursor files -----------------------------


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


# Adam7 passes: first column, first row, column step, row step.
ADAM7 = ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2))


def png(width, height, depth, colour_type, rows, extra=b"", interlace=0):
    """rows: the image's rows of 8-bit samples (interlaced images: one byte a pixel)."""
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, interlace)
    if interlace:
        raw = b""
        for x0, y0, dx, dy in ADAM7:
            for y in range(y0, height, dy):
                line = bytes(rows[y][x] for x in range(x0, width, dx))
                if line:
                    raw += b"\x00" + line
    else:
        raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + extra +
            png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b""))


def pngs():
    out = {}
    out["png-rgb8"] = png(3, 2, 8, 2, [bytes(range(9)), bytes(range(9, 18))])
    out["png-rgba8"] = png(2, 2, 8, 6, [b"\xff\x00\x00\xff\x00\xff\x00\x80", b"\x00\x00\xff\x00\x10\x20\x30\xff"])
    out["png-gray1"] = png(9, 2, 1, 0, [b"\xa5\x80", b"\x5a\x00"])
    out["png-gray4"] = png(3, 1, 4, 0, [b"\x1f\x80"])
    out["png-gray16"] = png(2, 1, 16, 0, [b"\x12\x34\xfe\xdc"])
    out["png-gray-alpha8"] = png(2, 1, 8, 4, [b"\x40\xff\x80\x00"])
    out["png-rgb16"] = png(1, 1, 16, 2, [b"\x01\x02\x03\x04\x05\x06"])
    palette = png_chunk(b"PLTE", b"\xff\x00\x00\x00\xff\x00\x00\x00\xff")
    out["png-palette2-trns"] = png(4, 1, 2, 3, [b"\x1b"], palette + png_chunk(b"tRNS", b"\x00\x80"))
    out["png-gray-trns"] = png(2, 1, 8, 0, [b"\x07\x08"], png_chunk(b"tRNS", b"\x00\x07"))
    out["png-interlaced"] = png(9, 9, 8, 0, [bytes(range(i, i + 9)) for i in range(9)], interlace=1)
    out["png-gamma"] = png(1, 1, 8, 2, [b"\x80\x80\x80"], png_chunk(b"gAMA", struct.pack(">I", 100000)))
    huge = png(4096, 4096, 8, 0, [b""])
    out["png-huge-truncated"] = huge[:60]
    return out


def dib_header(width, height, bits, colours_used=0, size=40):
    header = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, 0, 0, 0, 0, colours_used, 0)
    return header + b"\x00" * (size - 40)


def bmp(width, height, bits, palette, pixels, colours_used=0, header_size=40):
    info = dib_header(width, height, bits, colours_used, header_size)
    offset = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + palette + pixels


def bmps():
    grey = b"".join(bytes((v, v, v, 0)) for v in (0, 255))
    out = {}
    out["bmp-1bit"] = bmp(10, 2, 1, grey, b"\xaa\x40\x00\x00" b"\x55\x80\x00\x00")
    out["bmp-4bit-short-table"] = bmp(3, 1, 4, grey, b"\x01\xf0\x00\x00", colours_used=2)
    out["bmp-8bit-top-down"] = bmp(2, -2, 8, grey + b"\x10\x20\x30\x00" * 254,
                                   b"\x00\x01\x00\x00" b"\x02\x03\x00\x00")
    out["bmp-24bit"] = bmp(2, 2, 24, b"", b"\x01\x02\x03\x04\x05\x06\x00\x00" b"\x07\x08\x09\x0a\x0b\x0c\x00\x00")
    out["bmp-32bit-v5-header"] = bmp(1, 1, 32, b"", b"\x10\x20\x30\x40", header_size=124)
    out["bmp-huge"] = bmp(4096, 4096, 24, b"", b"\x00" * 12)
    return out


def icon_file(kind, hot, image, width=0, height=0):
    entry = struct.pack("<BBBBHHII", width, height, 0, 0, hot[0], hot[1], len(image), 22)
    return struct.pack("<HHH", 0, kind, 1) + entry + image


def icon_dib(width, height, bits, palette, colour_rows, mask_rows):
    return dib_header(width, height * 2, bits) + palette + b"".join(colour_rows) + b"".join(mask_rows)


def icons():
    bw = b"\x00\x00\x00\x00\xff\xff\xff\x00"
    out = {}
    out["cur-1bit"] = icon_file(2, (1, 0), icon_dib(2, 2, 1, bw, [b"\x40\0\0\0", b"\x80\0\0\0"],
                                                     [b"\x80\0\0\0", b"\x00\0\0\0"]))
    out["ico-8bit"] = icon_file(1, (0, 0), icon_dib(2, 1, 8, bw + b"\x00" * 1016, [b"\x00\x01\0\0"],
                                                     [b"\x00\0\0\0"]))
    out["ico-32bit-alpha"] = icon_file(1, (0, 0), icon_dib(1, 2, 32, b"", [b"\x01\x02\x03\x80", b"\x04\x05\x06\xff"],
                                                            [b"\0\0\0\0", b"\0\0\0\0"]))
    out["ico-24bit-mask"] = icon_file(1, (0, 0), icon_dib(1, 1, 24, b"", [b"\x01\x02\x03\x00"], [b"\x80\0\0\0"]))
    out["ico-png"] = icon_file(1, (0, 0), png(2, 1, 8, 2, [b"\x01\x02\x03\x04\x05\x06"]))
    out["cur-hot-spot-outside"] = icon_file(2, (5, 5), icon_dib(2, 2, 1, bw, [b"\0\0\0\0"] * 2, [b"\0\0\0\0"] * 2))
    out["ico-count-too-large"] = struct.pack("<HHH", 0, 1, 300) + b"\x00" * 32
    reticle = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "app", "assets", "reticle.cur")
    with open(reticle, "rb") as f:
        out["reticle-cur"] = f.read()
    return out


def write(directory, name, data):
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    for name, data in NUMBER_TEXTS.items():
        write(os.path.join(root, "text_to_real"), name, data)
    for name, channels in CHANNELS.items():
        write(os.path.join(root, "script_channels"), name, b"\\ ".join(c.replace(b"\\", b"\\\\") for c in channels))
    # The number texts target takes its integers from the end of the input
    # backwards: the last eight bytes, little-endian, are its first real.
    numbers = os.path.join(root, "number_texts")
    for name, value in {"one": 1.0, "tenth": 0.1, "tie-13": 1.0001220703125, "max": 1.7976931348623157e308,
                        "subnormal": 5e-324, "tie-four": 0.00005, "big": 1e21, "negative": -2.5e-7}.items():
        write(numbers, name, bytes(range(1, 25)) + struct.pack("<d", value))
    for name, data in GBK_TEXTS.items():
        write(os.path.join(root, "gbk"), name, data)
    for name, text in SCRIPTS.items():
        write(os.path.join(root, "script_parser"), name, text.encode("utf-8"))
    for name, data in {**pngs(), **bmps(), **icons()}.items():
        write(os.path.join(root, "picture"), name, data)


if __name__ == "__main__":
    main()
