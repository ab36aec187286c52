#!/usr/bin/env python3
"""Turns a UTF-8 text file of the repository into the byte form the installer
embeds: GBK (code page 936), CR LF line ends, no byte-order mark."""
import os
import sys


def main(src, dst):
    with open(src, "r", encoding="utf-8-sig", newline="") as f:
        text = f.read()
    text = text.replace("\r\n", "\n").replace("\r", "\n").replace("\n", "\r\n")
    try:
        data = text.encode("gbk")
    except UnicodeEncodeError as e:
        line = text.count("\n", 0, e.start) + 1
        sys.exit("%s:%d: %r has no GBK form" % (src, line, text[e.start:e.end]))
    os.makedirs(os.path.dirname(os.path.abspath(dst)), exist_ok=True)
    with open(dst, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: make_gbk_text.py <utf-8 source> <gbk output>")
    main(sys.argv[1], sys.argv[2])
