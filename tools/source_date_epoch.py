#!/usr/bin/env python3
"""Writes the time that the build puts wherever a file format needs one (the
skin package's ZIP entries, the signing time of the archive library), as
seconds since 1970-01-01 UTC:

  SOURCE_DATE_EPOCH when it is set (https://reproducible-builds.org/specs/source-date-epoch/),
  else the commit time of the checked-out commit when SOURCE_DIR is the top
  of a git work tree, else 2026-01-01 00:00:00 UTC.

usage: source_date_epoch.py SOURCE_DIR OUTPUT

OUTPUT is rewritten only when the value changes, so that what depends on it
is made again exactly then. The build runs this at every build, so a new
commit or another SOURCE_DATE_EPOCH reaches the outputs without a new
configure.
"""
import os
import subprocess
import sys

FALLBACK = 1767225600  # 2026-01-01 00:00:00 UTC


def commit_time(source_dir):
    """The commit time of HEAD, or None when |source_dir| is not itself the
    top of a work tree (a copy of the sources inside some other repository
    must not take that repository's time)."""
    def git(*arguments):
        done = subprocess.run(["git", "-C", source_dir] + list(arguments),
                              capture_output=True, text=True, timeout=60)
        return done.stdout.strip() if done.returncode == 0 else None
    try:
        top = git("rev-parse", "--show-toplevel")
        if top is None or os.path.realpath(top) != os.path.realpath(source_dir):
            return None
        stamp = git("log", "-1", "--format=%ct")
    except (OSError, subprocess.SubprocessError):
        return None
    return int(stamp) if stamp and stamp.isdigit() else None


def source_date_epoch(source_dir, environment):
    value = environment.get("SOURCE_DATE_EPOCH", "").strip()
    if value:
        if not value.isdigit():
            sys.exit("source_date_epoch.py: SOURCE_DATE_EPOCH=%r is not a whole number of "
                     "seconds since 1970" % value)
        return int(value)
    stamp = commit_time(source_dir)
    return FALLBACK if stamp is None else stamp


def main(source_dir, output):
    text = "%d\n" % source_date_epoch(source_dir, os.environ)
    try:
        with open(output) as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(output + ".tmp", "w") as f:
        f.write(text)
    os.replace(output + ".tmp", output)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: source_date_epoch.py SOURCE_DIR OUTPUT")
    main(sys.argv[1], sys.argv[2])
