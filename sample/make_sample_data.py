#!/usr/bin/env python3
"""Writes the sample product's data files into a product folder.

Deterministic (fixed seed), small enough for fast tests, and shaped like a
product: nested folders, text and binary files, a name with a space, an
empty file and an empty folder. The folders "data" and "resources" belong to
this script and are rewritten from scratch; the programs next to them are
left alone.

usage: make_sample_data.py PRODUCT_DIR
"""
import os
import random
import shutil
import sys

OWNED_FOLDERS = ("data", "resources")


def write(root, relative, content):
    path = os.path.join(root, *relative.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    root = argv[1]
    os.makedirs(root, exist_ok=True)
    for folder in OWNED_FOLDERS:
        shutil.rmtree(os.path.join(root, folder), ignore_errors=True)
    rng = random.Random(20261209)

    write(root, "data/config/settings.ini",
          b"[Display]\r\nWidth=1280\r\nHeight=720\r\nDpi=240\r\n\r\n[Engine]\r\nCores=2\r\nMemoryMB=2048\r\n")
    write(root, "data/config/keymap.json",
          b'{\n  "W": "up", "S": "down", "A": "left", "D": "right",\n  "Space": "jump"\n}\n')
    # Incompressible and highly compressible binaries side by side.
    write(root, "data/system/system.img", rng.randbytes(192 * 1024))
    write(root, "data/system/vendor/boot.bin", bytes(range(256)) * 256)
    write(root, "data/system/vendor/lib/deep/deeper/libhost.so", rng.randbytes(24 * 1024))
    write(root, "data/user guide.txt",
          "Tarnis模拟器 使用说明\r\n\r\n1. 从桌面图标启动模拟器。\r\n2. 在设置中调整分辨率。\r\n"
          .encode("utf-8"))
    write(root, "data/empty.dat", b"")
    lines = ["line %04d %s" % (i, "x" * rng.randrange(1, 60)) for i in range(2000)]
    write(root, "resources/lang/zh-CN.txt", "\r\n".join(lines).encode("ascii"))
    write(root, "resources/skins/default/theme.bin", rng.randbytes(4096) * 8)
    os.makedirs(os.path.join(root, "data", "cache"), exist_ok=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
