#!/usr/bin/env python3
"""Packs a folder into a deflate ZIP with stable names, order and times, so
the same sources always give the same bytes.
usage: make_zip.py OUT.zip DIR [DIR ...]  (entries are named relative to each DIR)"""
import os
import sys
import zipfile


def main(out, dirs):
    entries = []
    for base in dirs:
        for root, _, files in os.walk(base):
            for name in files:
                path = os.path.join(root, name)
                entries.append((os.path.relpath(path, base).replace(os.sep, "/"), path))
    entries.sort()
    with zipfile.ZipFile(out + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for arcname, path in entries:
            info = zipfile.ZipInfo(arcname, date_time=(2026, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            with open(path, "rb") as f:
                z.writestr(info, f.read())
    os.replace(out + ".tmp", out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
