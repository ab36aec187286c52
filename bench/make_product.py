#!/usr/bin/env python3
"""Makes the benchmark's product folder: about 300 MB shaped like the real
product, the same bytes on every run (seeded).

  two large, partly compressible binaries (80 and 40 MiB),
  ten mid-size binaries (4 to 30 MiB),
  about 2,000 small text and binary files (1 to 64 KB) in folders up to six
  levels deep, and a few empty folders.

Binaries mix 64 KiB pieces of three kinds: random bytes (incompressible),
word text and record tables (both compress well), so the archive is about
half the product's size, as with real program files.

usage: make_product.py OUT_DIR
A finished folder is marked by OUT_DIR.complete (beside it, so it is not
packed) holding the generator's version, and is not made again.
"""
import hashlib
import os
import random
import shutil
import struct
import sys

SEED = 20261209
MIB = 1 << 20
PIECE = 64 * 1024
SMALL_FILES = 2000
VERSION = "1"

WORDS = ("emulator android kernel module driver render surface texture buffer "
         "vertex shader frame input touch sensor audio network socket packet "
         "device memory page cache thread process service binder intent config "
         "system vendor image layer window display density locale resource").split()


class Generator:
    def __init__(self, seed):
        self.rng = random.Random(seed)

    def random_piece(self, size):
        return self.rng.randbytes(size)

    def text_piece(self, size):
        out = bytearray()
        while len(out) < size:
            line = " ".join(self.rng.choices(WORDS, k=self.rng.randint(4, 14)))
            out += line.encode("ascii") + b"\r\n"
        return bytes(out[:size])

    def table_piece(self, size):
        base = self.rng.getrandbits(32)
        step = self.rng.randint(1, 64)
        out = bytearray()
        index = 0
        while len(out) < size:
            out += struct.pack("<IIII", index, (base + index * step) & 0xFFFFFFFF,
                               self.rng.getrandbits(12), 0x7F000000 | (index & 0xFF))
            index += 1
        return bytes(out[:size])

    def binary(self, size, random_share):
        """A binary with roughly |random_share| of its pieces incompressible."""
        pieces = []
        left = size
        while left > 0:
            n = min(PIECE, left)
            r = self.rng.random()
            if r < random_share:
                pieces.append(self.random_piece(n))
            elif r < random_share + (1 - random_share) / 2:
                pieces.append(self.text_piece(n))
            else:
                pieces.append(self.table_piece(n))
            left -= n
        return b"".join(pieces)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def generator_digest():
    with open(os.path.abspath(__file__), "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()[:16]


def make(out_dir):
    gen = Generator(SEED)
    rng = gen.rng
    total = 0

    for name, size in (("bin/emulator-core.img", 80 * MIB), ("bin/android-system.img", 40 * MIB)):
        write(os.path.join(out_dir, name), gen.binary(size, 0.45))
        total += size

    mid_sizes = [4, 5, 6, 8, 9, 11, 13, 16, 20, 30]
    rng.shuffle(mid_sizes)
    for i, mib in enumerate(mid_sizes):
        size = mib * MIB + rng.randint(0, MIB // 2)
        folder = rng.choice(["bin", "lib", "lib/x86", "plugins", "runtime"])
        write(os.path.join(out_dir, folder, "module%02d.dll" % i), gen.binary(size, 0.5))
        total += size

    # Small files in a tree of folders up to six levels below the product root.
    folders = [""]
    for i in range(120):
        parent = rng.choice(folders)
        depth = parent.count("/") + 1 if parent else 0
        if depth >= 6:
            continue
        folders.append((parent + "/" if parent else "") + "%s%d" % (rng.choice(WORDS), i))
    folders = [f for f in folders if f] or ["data"]
    for i in range(SMALL_FILES):
        folder = rng.choice(folders)
        size = rng.randint(1000, 64000)
        if rng.random() < 0.5:
            name, data = "note%04d.txt" % i, gen.text_piece(size)
        else:
            name = "blob%04d.bin" % i
            data = gen.binary(size, 0.5) if size > 4096 else gen.random_piece(size)
        write(os.path.join(out_dir, folder, name), data)
        total += size

    for name in ("cache", "logs/old", "data/user/empty"):
        os.makedirs(os.path.join(out_dir, name), exist_ok=True)
    return total


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out_dir = argv[1]
    stamp = out_dir.rstrip("/") + ".complete"
    expected = VERSION + " " + generator_digest()
    if os.path.isfile(stamp) and open(stamp).read().strip() == expected:
        print("product up to date: %s" % out_dir)
        return 0
    shutil.rmtree(out_dir, ignore_errors=True)
    total = make(out_dir)
    with open(stamp, "w") as f:
        f.write(expected + "\n")
    print("product made: %s, %.1f MB in files" % (out_dir, total / 1e6))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
