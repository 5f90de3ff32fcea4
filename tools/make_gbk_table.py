#!/usr/bin/env python3
"""Writes the code page 936 mapping used by text/gbk.cpp.

Run once from the repository's root after changing this script:

    tools/make_gbk_table.py          # rewrites the two files below
    tools/make_gbk_table.py --check  # exits 1 when they are out of date

It writes text/gbk_table.h (the compact tables compiled into the program)
and tests/text/data/cp936.tsv (every mapped character, one a line, which
the tests compare the C++ conversion with).

The mapping is code page 936 as Windows uses it for "ANSI" text and the
clipboard's plain text: Python's "gbk" codec for the double-byte characters
(lead byte 81-FE, trail byte 40-7E or 80-FE), ASCII for 00-7F, and the one
difference from plain GBK: the single byte 80 is the euro sign U+20AC.
Byte FF and the user-defined areas (AAA1-AFFE, F8A1-FEFE, A140-A7A0) have no
mapping here.

The tables rely on the layout of GBK, which this script checks:
- the GB2312 hanzi (rows B0-F7, cells A1-FE) are all in the CJK Unified
  Ideographs block U+4E00-U+9FA5, in pinyin order, so they need a table each
  way;
- every other character of that block sits in the GBK/3 area (rows 81-A0,
  trail 40-FE) and then the GBK/4 area (rows AA-FE, trail 40-A0) in Unicode
  order, so a bitmap of the GB2312 members of the block and its rank give
  both directions;
- the remaining 889 characters (symbols and compatibility ideographs) are a
  list sorted by code, with an index in Unicode order.
"""
import argparse
import bisect
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
TABLE = ROOT / "text" / "gbk_table.h"
REFERENCE = ROOT / "tests" / "text" / "data" / "cp936.tsv"

URO_FIRST, URO_LAST = 0x4E00, 0x9FA5
HANZI_ROWS = range(0xB0, 0xF8)
HANZI_CELLS = range(0xA1, 0xFF)
TRAILS = [t for t in range(0x40, 0xFF) if t != 0x7F]
EURO_BYTE, EURO = 0x80, 0x20AC


def double_byte_mapping():
    mapping = {}
    for lead in range(0x81, 0xFF):
        for trail in TRAILS:
            try:
                text = bytes([lead, trail]).decode("gbk")
            except UnicodeDecodeError:
                continue
            assert len(text) == 1
            mapping[(lead << 8) | trail] = ord(text)
    return mapping


def extension_slots():
    """The GBK/3 then GBK/4 codes, in the order the C++ code counts them."""
    for lead in range(0x81, 0xA1):
        for trail in TRAILS:
            yield (lead << 8) | trail
    for lead in range(0xAA, 0xFF):
        for trail in TRAILS:
            if trail <= 0xA0:
                yield (lead << 8) | trail


def is_hanzi_code(code):
    return (code >> 8) in HANZI_ROWS and (code & 0xFF) in HANZI_CELLS


class Tables:
    def __init__(self, mapping):
        unicode_values = set(mapping.values())
        assert len(unicode_values) == len(mapping), "two codes share a character"
        assert all(u < 0x10000 for u in unicode_values)
        for u in range(URO_FIRST, URO_LAST + 1):
            assert u in unicode_values, "U+%04X is missing" % u

        self.hanzi = []
        for lead in HANZI_ROWS:
            for trail in HANZI_CELLS:
                u = mapping.get((lead << 8) | trail, 0)
                assert u == 0 or URO_FIRST <= u <= URO_LAST
                self.hanzi.append(u)
        members = {u for u in self.hanzi if u}
        self.hanzi_by_unicode = [c for u, c in sorted((u, c) for c, u in mapping.items() if is_hanzi_code(c))]

        uro_count = URO_LAST - URO_FIRST + 1
        self.words = (uro_count + 31) // 32
        self.bits = [0] * self.words
        for u in members:
            i = u - URO_FIRST
            self.bits[i // 32] |= 1 << (i % 32)
        self.rank = []
        total = 0
        for word in self.bits:
            self.rank.append(total)
            total += bin(word).count("1")

        rest = [u for u in range(URO_FIRST, URO_LAST + 1) if u not in members]
        slots = list(extension_slots())
        for k, u in enumerate(rest):
            assert mapping.get(slots[k]) == u, "GBK/3-4 leave Unicode order at %04X" % slots[k]
        self.extension_count = len(rest)
        placed = set(self.hanzi_by_unicode) | set(slots[: len(rest)])
        self.others = sorted((c, u) for c, u in mapping.items() if c not in placed)
        self.others_by_unicode = [i for _, i in sorted((u, i) for i, (_, u) in enumerate(self.others))]

    # The lookups text/gbk.cpp performs, so that the tables are checked
    # against the codec before they are written.
    def bit(self, i):
        return (self.bits[i // 32] >> (i % 32)) & 1

    def rank_of(self, i):
        word = self.bits[i // 32] & ((1 << (i % 32)) - 1)
        return self.rank[i // 32] + bin(word).count("1")

    def extension_slot(self, lead, trail):
        t = trail - 0x40 - (1 if trail > 0x7F else 0)
        if 0x81 <= lead <= 0xA0:
            return (lead - 0x81) * 190 + t
        if 0xAA <= lead <= 0xFE and trail <= 0xA0:
            return 32 * 190 + (lead - 0xAA) * 96 + t
        return None


def check_tables(tables, mapping):
    uro_count = URO_LAST - URO_FIRST + 1
    assert all(tables.rank_of(i) == sum(tables.bit(j) for j in range(i)) for i in range(0, uro_count, 997))
    zeros = [i for i in range(uro_count) if not tables.bit(i)]
    other_codes = [c for c, _ in tables.others]
    by_unicode = [tables.others[i][1] for i in tables.others_by_unicode]
    assert other_codes == sorted(other_codes) and by_unicode == sorted(by_unicode)
    slots = list(extension_slots())

    def decode(code):
        lead, trail = code >> 8, code & 0xFF
        if is_hanzi_code(code):
            return tables.hanzi[(lead - 0xB0) * 94 + trail - 0xA1]
        slot = tables.extension_slot(lead, trail)
        if slot is not None and slot < tables.extension_count:
            return URO_FIRST + zeros[slot]
        at = bisect.bisect_left(other_codes, code)
        return tables.others[at][1] if at < len(other_codes) and other_codes[at] == code else 0

    def encode(u):
        if URO_FIRST <= u <= URO_LAST:
            i = u - URO_FIRST
            r = tables.rank_of(i)
            return tables.hanzi_by_unicode[r] if tables.bit(i) else slots[i - r]
        at = bisect.bisect_left(by_unicode, u)
        return tables.others[tables.others_by_unicode[at]][0] if at < len(by_unicode) and by_unicode[at] == u else 0

    for lead in range(0x81, 0xFF):
        for trail in TRAILS:
            code = (lead << 8) | trail
            assert decode(code) == mapping.get(code, 0), "decoding %04X" % code
    reverse = {u: c for c, u in mapping.items()}
    for u in range(0x80, 0x10000):
        assert encode(u) == reverse.get(u, 0), "encoding U+%04X" % u


def c_array(ctype, name, values, per_line, width):
    lines = ["inline constexpr %s %s[%d] = {" % (ctype, name, len(values))]
    for start in range(0, len(values), per_line):
        chunk = values[start:start + per_line]
        lines.append("    " + " ".join("0x%0*X," % (width, v) for v in chunk))
    lines.append("};")
    return "\n".join(lines)


def render_table(tables):
    parts = [
        "// Generated by tools/make_gbk_table.py from Python's \"gbk\" codec; do not edit.",
        "// Code page 936's double-byte characters; text/gbk.cpp explains the layout.",
        "#pragma once",
        "",
        "#include <cstdint>",
        "",
        "namespace tinctora::text::gbk_table {",
        "",
        "// GB2312 hanzi: rows B0-F7 by cells A1-FE, their Unicode value, 0 for none.",
        c_array("std::uint16_t", "kHanzi", tables.hanzi, 12, 4),
        "",
        "// The codes of the GB2312 hanzi, in Unicode order.",
        c_array("std::uint16_t", "kHanziByUnicode", tables.hanzi_by_unicode, 12, 4),
        "",
        "// Bit i (word i / 32, bit i % 32) is set when U+4E00 + i is a GB2312 hanzi.",
        c_array("std::uint32_t", "kHanziBits", tables.bits, 8, 8),
        "",
        "// The set bits of kHanziBits before each word.",
        c_array("std::uint16_t", "kHanziRank", tables.rank, 12, 4),
        "",
        "// The other characters of U+4E00-U+9FA5 fill this many GBK/3-4 codes.",
        "inline constexpr int kExtensionCount = %d;" % tables.extension_count,
        "",
        "// Every other double-byte character: codes ascending, and their Unicode.",
        c_array("std::uint16_t", "kOtherCodes", [c for c, _ in tables.others], 12, 4),
        c_array("std::uint16_t", "kOtherUnicode", [u for _, u in tables.others], 12, 4),
        "// Indices into kOtherCodes and kOtherUnicode, by ascending Unicode.",
        c_array("std::uint16_t", "kOtherByUnicode", tables.others_by_unicode, 12, 4),
        "",
        "}  // namespace tinctora::text::gbk_table",
        "",
    ]
    return "\n".join(parts)


def render_reference(mapping):
    lines = ["# Code page 936 beyond ASCII: GBK bytes, tab, Unicode code point (hex)."]
    lines.append("%02X\t%04X" % (EURO_BYTE, EURO))
    for code in sorted(mapping):
        lines.append("%04X\t%04X" % (code, mapping[code]))
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare with the files instead of writing them")
    args = parser.parse_args()

    mapping = double_byte_mapping()
    assert EURO not in mapping.values()
    tables = Tables(mapping)
    check_tables(tables, mapping)
    outputs = {TABLE: render_table(tables), REFERENCE: render_reference(mapping)}

    if args.check:
        stale = [p for p, text in outputs.items() if not p.exists() or p.read_text(encoding="ascii") != text]
        for p in stale:
            print("%s is out of date: run tools/make_gbk_table.py" % p.relative_to(ROOT), file=sys.stderr)
        return 1 if stale else 0
    for p, text in outputs.items():
        p.write_text(text, encoding="ascii", newline="\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
