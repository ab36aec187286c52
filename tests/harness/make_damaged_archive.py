#!/usr/bin/env python3
"""Makes a product archive in which exactly one item is damaged.

The archive is made like tnpack makes it (7z, LZMA2, AES under the
installer's password, header compressed but readable), except that it is
not solid: every file with data is a block of its own, so flipping bytes in
one block's packed data damages that one file and no other. The blocks'
packed streams follow the 32-byte start header in block order, which gives
the item's place from the listing's "Block" and "Packed Size" fields.

usage: make_damaged_archive.py PRODUCT_DIR ITEM OUT.7z
  ITEM: the damaged file's path inside the product, with "/" separators.
The result is packed into an installer with tnpack --archive OUT.7z.
"""
import os
import re
import subprocess
import sys

SEVEN_ZIP = os.environ.get("TN_7ZZ", "7zz")
START_HEADER_SIZE = 32
FLIPPED_BYTES = 16


def archive_password():
    here = os.path.dirname(os.path.abspath(__file__))
    header = os.path.join(here, "..", "..", "payload", "archive_password.h")
    with open(header, encoding="utf-8") as f:
        return re.search(r'kArchivePassword\[\]\s*=\s*"([^"]*)"', f.read()).group(1)


def list_items(archive, password):
    out = subprocess.run([SEVEN_ZIP, "l", "-slt", "-sccUTF-8", "-p" + password, archive],
                         check=True, capture_output=True).stdout.decode("utf-8")
    items, item = [], {}
    for line in out.splitlines():
        if not line.strip():
            if item:
                items.append(item)
            item = {}
            continue
        name, sep, value = line.partition(" = ")
        if sep:
            item[name] = value
    if item:
        items.append(item)
    return [i for i in items if "Block" in i]


def make_archive(product, out):
    """The product as a non-solid archive, undamaged."""
    if os.path.exists(out):
        os.remove(out)
    subprocess.run([SEVEN_ZIP, "a", "-t7z", "-m0=lzma2", "-ms=off", "-mhe=off",
                    "-p" + archive_password(), "-y", "-bso0", "-bsp0", "--",
                    os.path.abspath(out), "*"], cwd=product, check=True)


def make_damaged_archive(product, item, out):
    """Writes |out| and returns the file offset of the flipped bytes."""
    password = archive_password()
    make_archive(product, out)
    blocks = {}
    target_block = None
    for entry in list_items(out, password):
        if entry["Block"] == "":
            continue
        block = int(entry["Block"])
        blocks.setdefault(block, int(entry["Packed Size"] or 0))
        if entry["Path"].replace("\\", "/") == item:
            target_block = block
    if target_block is None:
        raise SystemExit("make_damaged_archive: %s has no data in the archive" % item)
    start = START_HEADER_SIZE + sum(size for block, size in blocks.items() if block < target_block)
    size = blocks[target_block]
    if size <= FLIPPED_BYTES:
        raise SystemExit("make_damaged_archive: %s is too small to damage" % item)
    offset = start + size // 2
    with open(out, "r+b") as f:
        f.seek(offset)
        data = bytearray(f.read(FLIPPED_BYTES))
        f.seek(offset)
        f.write(bytes(b ^ 0xFF for b in data))
    return offset


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    offset = make_damaged_archive(argv[1], argv[2], argv[3])
    print("make_damaged_archive: flipped %d bytes at offset %d of %s" % (FLIPPED_BYTES, offset, argv[3]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
