#!/usr/bin/env python3
"""Fails when an installer source includes a header of a layer above its own.

The installer's folders form layers; each may include its own headers and
those of the folders it is allowed to depend on:

    app -> pages -> actions, hypervisor, payload, config -> ui, util

A lower folder that needs something from a higher one gets a narrow
interface that the higher one implements (as a page gets its host).

Usage: check_layers.py SOURCE_ROOT
"""
import pathlib
import re
import sys

ALLOWED = {
    "util": set(),
    "ui": {"util"},
    "config": {"util"},
    "payload": {"config", "util"},
    "actions": {"payload", "config", "util"},
    "hypervisor": {"payload", "config", "util"},
    "pages": {"actions", "hypervisor", "payload", "config", "ui", "util"},
    "app": {"pages", "actions", "hypervisor", "payload", "config", "ui", "util"},
}
# Test sources may also use the shared test helpers.
TEST_ONLY = {"tests"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]*"', re.MULTILINE)


def violations(root):
    for folder, allowed in ALLOWED.items():
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp") or "fuzz" in path.parts:
                continue
            is_test = path.stem.endswith("_test") or "test" in path.stem
            text = path.read_text(encoding="utf-8", errors="replace")
            for match in INCLUDE.finditer(text):
                target = match.group(1)
                if target == folder or target in allowed:
                    continue
                if is_test and target in TEST_ONLY:
                    continue
                if target not in ALLOWED and target not in TEST_ONLY:
                    continue  # not an installer folder (third-party paths)
                line = text.count("\n", 0, match.start()) + 1
                yield f"{path.relative_to(root)}:{line}: {folder}/ must not include {target}/"


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    found = list(violations(pathlib.Path(sys.argv[1])))
    for line in found:
        print(line, file=sys.stderr)
    if found:
        print(f"check_layers: {len(found)} include(s) run against the layers", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
