#!/usr/bin/env python3
"""Turns a UTF-8 text file of the repository into the byte form the installer
embeds: GBK (code page 936), CR LF line ends, no byte-order mark."""
import sys


def main(src, dst):
    with open(src, "r", encoding="utf-8-sig", newline="") as f:
        text = f.read()
    text = text.replace("\r\n", "\n").replace("\r", "\n").replace("\n", "\r\n")
    data = text.encode("gbk")
    with open(dst, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
