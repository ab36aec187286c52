"""ctest's emulator for the Windows test programs: one program, run in a
private copy of a template prefix on a private display. TN_WINE_BITS=32
picks the 32-bit prefix; TN_WINE_VERSION (win7, win81, win10) sets the
Windows version the prefix reports."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tnharness  # noqa: E402


def main(argv):
    bits = int(os.environ.get("TN_WINE_BITS", "64"))
    version = os.environ.get("TN_WINE_VERSION") or None
    with tnharness.Display() as display, tnharness.Prefix(bits, windows_version=version) as prefix:
        env = prefix.env(display)
        env["TN_PREFIX"] = prefix.path
        return subprocess.run(["wine"] + argv, env=env).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
