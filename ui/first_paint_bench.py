"""Time from window creation to the end of the first paint under Wine, for a
skinned window (UI_HomePage.xml) and a plain Win32 window in the same run.

    python3 ui/first_paint_bench.py <cross tree> [runs]

Prints the median of each over the runs, and the skin package's size."""
import os
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "harness"))
import tnharness  # noqa: E402
from tnharness import Display, Prefix  # noqa: E402


def main():
    tree = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else tnharness.BUILD_DIR)
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    viewer = os.path.join(tree, "tn_skin_viewer.exe")
    skin = os.path.join(tree, "skin", "skin.zip")
    skinned, plain, plain_after = [], [], []
    with Display() as display, Prefix(64, prefixes_dir=os.path.join(tree, "prefixes")) as prefix:
        env = prefix.env(display)
        for layout in ["UI_HomePage.xml"] * runs:
            out = tempfile.NamedTemporaryFile(suffix=".txt", delete=False).name
            os.unlink(out)
            subprocess.run(["wine", viewer, layout, tnharness.wine_path(skin), "--timing",
                            tnharness.wine_path(out)], env=env, check=False, timeout=120,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with open(out) as f:
                values = dict(line.strip().split("=") for line in f if "=" in line)
            os.unlink(out)
            skinned.append(float(values["skinned_ms"]))
            plain.append(float(values["plain_ms"]))
            plain_after.append(float(values["plain_after_ms"]))
    print("runs: %d" % runs)
    print("skinned window, creation to first paint: median %.1f ms (min %.1f, max %.1f)"
          % (statistics.median(skinned), min(skinned), max(skinned)))
    print("plain Win32 window, creation to first paint: median %.1f ms (min %.1f, max %.1f)"
          % (statistics.median(plain), min(plain), max(plain)))
    print("plain Win32 window shown after the skinned one: median %.1f ms (min %.1f, max %.1f)"
          % (statistics.median(plain_after), min(plain_after), max(plain_after)))
    print("skin package: %d bytes" % os.path.getsize(skin))


if __name__ == "__main__":
    main()
