#!/usr/bin/env python3
"""Prints each argument as a C++ string literal of its GBK bytes.

The program holds its texts as GBK bytes; source files are UTF-8, so texts
with non-ASCII characters are written as escaped bytes, with the readable
text beside them in a comment. Usage: tools/gbk_literal.py "复制(10进制)" ...
"""
import sys


def literal(text: str) -> str:
    out = []
    pending_hex = False
    for byte in text.encode("gbk"):
        ch = chr(byte)
        if byte >= 0x80 or byte < 0x20 or ch in '"\\':
            out.append("\\x%02X" % byte)
            pending_hex = True
        else:
            # A hex digit right after a \x escape would extend the escape.
            if pending_hex and ch in "0123456789abcdefABCDEF":
                out.append('" "')
            out.append(ch)
            pending_hex = False
    return '"' + "".join(out) + '"'


if __name__ == "__main__":
    for arg in sys.argv[1:]:
        print(f"{literal(arg)}  // {arg}")
