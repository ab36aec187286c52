#!/usr/bin/env python3
"""Fails when a C or C++ source of the project is not formatted as
.clang-format says.

usage: check_format.py SOURCE_DIR [--fix]
The files are the ones git tracks (every file below SOURCE_DIR outside a
git checkout), third-party code and build trees left out. --fix formats
them in place instead."""
import os
import shutil
import subprocess
import sys

SUFFIXES = (".c", ".cc", ".cpp", ".h", ".hpp")
LEFT_OUT = ("third_party/", "build/")


def sources(root):
    listed = subprocess.run(["git", "-C", root, "ls-files", "-z"], capture_output=True)
    if listed.returncode == 0:
        names = [n for n in listed.stdout.decode().split("\0") if n]
    else:
        names = []
        for dirpath, dirnames, filenames in os.walk(root):
            dirnames[:] = [d for d in dirnames if not d.startswith(".")]
            names += [os.path.relpath(os.path.join(dirpath, f), root) for f in filenames]
    return sorted(n for n in names if n.endswith(SUFFIXES) and not n.startswith(LEFT_OUT)
                  and os.path.isfile(os.path.join(root, n)))


def main(argv):
    if len(argv) < 2:
        sys.exit(__doc__)
    root, fix = argv[1], "--fix" in argv[2:]
    tool = shutil.which("clang-format") or shutil.which("clang-format-14")
    if not tool:
        sys.exit("check_format.py: clang-format not found (Debian package clang-format; "
                 "scripts/setup.sh installs it)")
    files = sources(root)
    if fix:
        subprocess.run([tool, "-i"] + files, cwd=root, check=True)
        return 0
    unformatted = []
    for i in range(0, len(files), 50):
        batch = files[i:i + 50]
        result = subprocess.run([tool, "--dry-run", "--Werror"] + batch, cwd=root,
                                capture_output=True, text=True)
        if result.returncode != 0:
            unformatted += [f for f in batch if subprocess.run(
                [tool, "--dry-run", "--Werror", f], cwd=root, capture_output=True).returncode != 0]
    if unformatted:
        print("not formatted as .clang-format says (tools/check_format.py %s --fix):" % root)
        for name in unformatted:
            print("  " + name)
        return 1
    print("%d files formatted" % len(files))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
