#!/usr/bin/env python3
"""Makes the archives the payload tests extract.

usage: make_test_archives.py OUTPUT_DIR

OUTPUT_DIR/tree/           a product tree (spaces, nesting, empty folders, a
                           0-byte file, a read-only file, fixed times, random
                           data large enough for many progress steps)
OUTPUT_DIR/tree.7z         that tree packed as tnpack packs it: LZMA2, items
                           AES-256 with the installer's password, plain header
OUTPUT_DIR/header_encrypted.7z   the same with an encrypted header
OUTPUT_DIR/slip.7z         stored items whose names try to leave the output
                           directory, next to one good item
OUTPUT_DIR/unnamed.7z      one stored item without a name
OUTPUT_DIR/bad_crc.7z      two stored items, the second with a wrong CRC
OUTPUT_DIR/no_data.7z      only an empty file and an empty folder
OUTPUT_DIR/duplicate.7z    one name twice: first read-only, then writable

The stored archives are written directly (7z "Copy" coder), because 7zz
cannot store names such as "C:\\x" or leave names out.
"""
import os
import random
import struct
import subprocess
import sys
import zlib

PASSWORD = "q7mzr2kx9wtb4fjn6hcvp3ydls"
# 2021-03-04 05:06:07 UTC, and a second time for the nested file.
TIME_A = 1614834367
TIME_B = 1262304000


def number(value):
    """7z's variable-length number."""
    if value < 0x80:
        return bytes([value])
    for length in range(1, 9):
        if value < (1 << (7 * (length + 1))) or length == 8:
            break
    first = (0xFF << (8 - length)) & 0xFF
    high = value >> (8 * length)
    if length < 8:
        first |= high
    return bytes([first]) + value.to_bytes(8, "little")[:length]


def bits(flags):
    out = bytearray((len(flags) + 7) // 8)
    for i, flag in enumerate(flags):
        if flag:
            out[i // 8] |= 0x80 >> (i % 8)
    return bytes(out)


def stored_7z(items):
    """items: list of (name or None, data or None for a folder, crc or None),
    each optionally followed by Windows attributes (then all items need them)."""
    attributes = [item[3] for item in items if len(item) > 3]
    items = [item[:3] for item in items]
    data_items = [(n, d, c) for n, d, c in items if d]
    packed = b"".join(d for _, d, _ in data_items)
    header = bytearray([0x01])
    if data_items:
        header += b"\x04"  # main streams info
        header += b"\x06" + number(0) + number(1) + b"\x09" + number(len(packed)) + b"\x00"
        header += b"\x07\x0B" + number(1) + b"\x00"
        header += number(1) + b"\x01\x00"  # one coder: Copy
        header += b"\x0C" + number(len(packed)) + b"\x00"
        header += b"\x08\x0D" + number(len(data_items))
        if len(data_items) > 1:
            header += b"\x09" + b"".join(number(len(d)) for _, d, _ in data_items[:-1])
        header += b"\x0A\x01" + b"".join(
            struct.pack("<I", c if c is not None else zlib.crc32(d)) for _, d, c in data_items)
        header += b"\x00\x00"
    header += b"\x05" + number(len(items))
    empty = [not d for _, d, _ in items]
    if any(empty):
        vector = bits(empty)
        header += b"\x0E" + number(len(vector)) + vector
        empty_files = [d is not None for _, d, _ in items if not d]
        vector = bits(empty_files)
        header += b"\x0F" + number(len(vector)) + vector
    if any(n is not None for n, _, _ in items):
        names = b"\x00" + b"".join((n or "").encode("utf-16-le") + b"\x00\x00" for n, _, _ in items)
        header += b"\x11" + number(len(names)) + names
    if attributes:
        values = b"\x01\x00" + b"".join(struct.pack("<I", a) for a in attributes)
        header += b"\x15" + number(len(values)) + values
    header += b"\x00\x00"
    header = bytes(header)
    start = struct.pack("<QQI", len(packed), len(header), zlib.crc32(header))
    return b"7z\xBC\xAF\x27\x1C\x00\x04" + struct.pack("<I", zlib.crc32(start)) + start + packed + header


def make_tree(root):
    rng = random.Random(1726)
    files = {
        "ZEVodirodaz.exe": bytes(rng.getrandbits(8) for _ in range(3 * 1024 * 1024)),
        "read me.txt": "Tarnis\r\n".encode() * 100,
        "bin/x.dll": b"MZ" + bytes(range(256)) * 40,
        "bin/deep/er/nested file.dat": b"nested" * 1000,
        "zero.bin": b"",
        "readonly.ini": b"[a]\r\nb=c\r\n",
        "\u6a21\u62df\u5668/\u8bf4\u660e.txt": "\u8bf4\u660e".encode("utf-8"),
    }
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (TIME_A, TIME_A))
    os.utime(os.path.join(root, "bin/deep/er/nested file.dat"), (TIME_B, TIME_B))
    os.makedirs(os.path.join(root, "empty folder/inner"), exist_ok=True)
    os.chmod(os.path.join(root, "readonly.ini"), 0o444)


def seven_zip(archive, root, *switches):
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["7zz", "a", "-t7z", "-m0=lzma2:d=8m:c=1m", "-mmt=2", "-ms=on",
                    "-p" + PASSWORD, "-bso0", "-bsp0", *switches, "--", archive, "*"],
                   cwd=root, check=True)


def main():
    out = os.path.abspath(sys.argv[1])
    tree = os.path.join(out, "tree")
    if os.path.exists(tree):
        subprocess.run(["chmod", "-R", "u+w", tree], check=True)
        subprocess.run(["rm", "-rf", tree], check=True)
    os.makedirs(tree)
    make_tree(tree)
    seven_zip(os.path.join(out, "tree.7z"), tree, "-mhe=off")
    seven_zip(os.path.join(out, "header_encrypted.7z"), tree, "-mhe=on")

    slip = [
        ("../escape1.txt", b"1", None),
        ("..\\escape2.txt", b"2", None),
        ("sub\\..\\..\\escape3.txt", b"3", None),
        ("C:\\escape4.txt", b"4", None),
        ("\\escape5.txt", b"5", None),
        ("inside.txt:stream", b"6", None),
        ("...\\escape7.txt", b"7", None),
        ("..", None, None),
        # The 7z handler turns "/" into the Windows separator; a "\\" in a
        # stored name stays part of that one name.
        ("sub/../../escape3b.txt", b"3", None),
        ("/escape5b.txt", b"5", None),
        ("C:/escape4b.txt", b"4", None),
        (".../escape7b.txt", b"7", None),
        ("ok/.. /escape8.txt", b"8", None),
        ("inside.txt", b"good", None),
    ]
    outputs = {
        "slip.7z": stored_7z(slip),
        "unnamed.7z": stored_7z([(None, b"content without a name", None)]),
        "bad_crc.7z": stored_7z([("good.txt", b"good", None), ("bad.txt", b"bad!", 0x12345678)]),
        "no_data.7z": stored_7z([("empty.txt", b"", None), ("folder", None, None)]),
        "duplicate.7z": stored_7z([("dup.txt", b"first version", None, 0x21),
                                   ("dup.txt", b"second", None, 0x20)]),
    }
    for name, data in outputs.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
