#!/usr/bin/env python3
"""Packs a folder into a deflate ZIP with stable names, order and times, so
the same sources always give the same bytes.

usage: make_zip.py [--time-file FILE] OUT.zip DIR [DIR ...]
  entries are named relative to each DIR; every entry carries one time:
  the seconds since 1970 (UTC) that FILE holds (tools/source_date_epoch.py
  writes it), or 2026-01-01 00:00:00 without it. A ZIP time has two-second
  steps and lies between 1980 and 2107; times outside become its first or
  last one."""
import os
import sys
import time
import zipfile

DEFAULT_TIME = (2026, 1, 1, 0, 0, 0)


def zip_time(epoch):
    """The ZIP date and time of |epoch| in UTC (entries carry no zone)."""
    if epoch < 315532800:  # 1980-01-01
        return (1980, 1, 1, 0, 0, 0)
    if epoch >= 4354819200:  # 2108-01-01
        return (2107, 12, 31, 23, 59, 58)
    return time.gmtime(epoch)[:6]


def main(out, dirs, date_time=DEFAULT_TIME):
    entries = []
    for base in dirs:
        for root, _, files in os.walk(base):
            for name in files:
                path = os.path.join(root, name)
                entries.append((os.path.relpath(path, base).replace(os.sep, "/"), path))
    entries.sort()
    with zipfile.ZipFile(out + ".tmp", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for arcname, path in entries:
            info = zipfile.ZipInfo(arcname, date_time=date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            with open(path, "rb") as f:
                z.writestr(info, f.read())
    os.replace(out + ".tmp", out)


if __name__ == "__main__":
    arguments = sys.argv[1:]
    date_time = DEFAULT_TIME
    if arguments[:1] == ["--time-file"]:
        with open(arguments[1]) as f:
            date_time = zip_time(int(f.read().strip()))
        arguments = arguments[2:]
    if len(arguments) < 2:
        sys.exit("usage: make_zip.py [--time-file FILE] OUT.zip DIR [DIR ...]")
    main(arguments[0], arguments[1:], date_time)
