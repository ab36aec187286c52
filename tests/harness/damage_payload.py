#!/usr/bin/env python3
"""Damages the packed data of one item of a 7z archive, in place, so that a
test can extract a payload that is no longer whole.

usage: damage_payload.py FILE [--item NAME] [--count N]

FILE is a 7z archive or a packed installer (stub, filler, trailer, archive):
the archive is the first 7z signature whose start header checksum holds.
The headers are left intact, so the archive still opens; N bytes (default
16) in the middle of the packed data of the block that holds NAME (default:
the first file with data) are inverted. In a solid block every item decoded
from that point on is damaged too. Prints one JSON line: the file offset and
count of the inverted bytes, the block, and the items stored in it.

Needs Debian's 7-Zip (7zz) to list the archive. Also importable:
damage_payload(path, item=None, count=16) returns the same dictionary.
"""
import argparse
import json
import os
import struct
import subprocess
import sys
import tempfile
import zlib

SIGNATURE = b"7z\xbc\xaf\x27\x1c"
START_HEADER_SIZE = 32


def find_archive(data):
    at = 0
    while True:
        at = data.find(SIGNATURE, at)
        if at < 0:
            raise ValueError("no 7z archive found")
        header = data[at + 12:at + 32]
        if len(header) == 20 and zlib.crc32(header) == struct.unpack_from("<I", data, at + 8)[0]:
            return at
        at += 1


def list_items(archive_bytes):
    """Items of the archive as dictionaries of 7zz's technical listing."""
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "payload.7z")
        with open(path, "wb") as f:
            f.write(archive_bytes)
        out = subprocess.run(["7zz", "l", "-slt", "-p", path], check=True,
                             capture_output=True, text=True).stdout
    items = []
    body = out.split("----------", 1)[1] if "----------" in out else ""
    for chunk in body.strip().split("\n\n"):
        fields = {}
        for line in chunk.splitlines():
            if " = " in line:
                key, value = line.split(" = ", 1)
                fields[key.strip()] = value.strip()
            elif line.endswith(" ="):
                fields[line[:-2].strip()] = ""
        if "Path" in fields:
            items.append(fields)
    return items


def damage_payload(path, item=None, count=16):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    start = find_archive(data)
    items = list_items(bytes(data[start:]))
    # Packed streams follow the start header in block order; 7zz names a
    # block's packed size on the block's first item.
    block_sizes = {}
    for entry in items:
        block = entry.get("Block", "")
        if block != "" and entry.get("Packed Size", "") != "":
            block_sizes.setdefault(int(block), int(entry["Packed Size"]))
    if item is None:
        chosen = next((e for e in items if e.get("Block", "") != ""), None)
    else:
        wanted = item.replace("/", "\\").lower()
        chosen = next((e for e in items
                       if e["Path"].replace("/", "\\").lower() == wanted), None)
    if chosen is None or chosen.get("Block", "") == "":
        raise ValueError("no item with packed data named %r" % item)
    block = int(chosen["Block"])
    offset = start + START_HEADER_SIZE + sum(block_sizes[b] for b in range(block))
    size = block_sizes[block]
    count = max(1, min(count, size))
    at = offset + (size - count) // 2
    for i in range(at, at + count):
        data[i] ^= 0xFF
    with open(path, "wb") as f:
        f.write(data)
    return {
        "offset": at,
        "count": count,
        "block": block,
        "block_offset": offset,
        "block_size": size,
        "items": [e["Path"] for e in items if e.get("Block", "") == str(block)],
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("file")
    parser.add_argument("--item", help="path of an item inside the archive")
    parser.add_argument("--count", type=int, default=16)
    args = parser.parse_args()
    try:
        result = damage_payload(args.file, args.item, args.count)
    except (ValueError, subprocess.CalledProcessError) as error:
        print("damage_payload: %s" % error, file=sys.stderr)
        return 1
    print(json.dumps(result, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main())
