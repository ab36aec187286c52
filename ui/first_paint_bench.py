"""Time from window creation to the end of the first paint under Wine, for a
skinned window (UI_HomePage.xml) and a plain Win32 window in the same run,
at one or more screen DPIs.

    python3 ui/first_paint_bench.py <cross tree> [runs] [--dpi 96,192]

Every run of every DPI gets a fresh copy of the template prefix with
HKCU\\Control Panel\\Desktop LogPixels set; the DPIs take turns in rotated
order (96,192 then 192,96, ...) so that a slower or busier moment of the
machine does not fall on one of them only. Prints, per DPI, the medians of
the wall time, the user-interface thread's CPU time over the same span and
the whole viewer process's CPU time (start-up included), and the skin
package's size."""
import os
import resource
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "harness"))
import tnharness  # noqa: E402
from tnharness import Display, Prefix  # noqa: E402


def children_cpu_ms():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return 1000.0 * (usage.ru_utime + usage.ru_stime)


def one_run(tree, display, dpi):
    viewer = os.path.join(tree, "tn_skin_viewer.exe")
    skin = os.path.join(tree, "skin", "skin.zip")
    with Prefix(64, prefixes_dir=os.path.join(tree, "prefixes")) as prefix:
        env = prefix.env(display)
        subprocess.run(["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                        "REG_DWORD", "/d", str(dpi), "/f"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, check=False)
        out = tempfile.NamedTemporaryFile(suffix=".txt", delete=False).name
        os.unlink(out)
        before = children_cpu_ms()
        subprocess.run(["wine", viewer, "UI_HomePage.xml", tnharness.wine_path(skin), "--timing",
                        tnharness.wine_path(out)], env=env, check=False, timeout=120,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        process_cpu = children_cpu_ms() - before
        with open(out) as f:
            values = dict(line.strip().split("=") for line in f if "=" in line)
        os.unlink(out)
    if int(values.get("dpi", "0")) != dpi:
        raise RuntimeError("the viewer drew for %s DPI, not %d" % (values.get("dpi"), dpi))
    return {"wall": float(values["skinned_ms"]), "created": float(values["skinned_created_ms"]),
            "cpu": float(values["skinned_cpu_ms"]),
            "process_cpu": process_cpu, "plain": float(values["plain_ms"]),
            "plain_after": float(values["plain_after_ms"])}


def main():
    args = sys.argv[1:]
    dpis = [96]
    if "--dpi" in args:
        at = args.index("--dpi")
        dpis = [int(v) for v in args[at + 1].split(",")]
        del args[at:at + 2]
    tree = os.path.abspath(args[0] if args else tnharness.BUILD_DIR)
    runs = int(args[1]) if len(args) > 1 else 9
    results = {dpi: [] for dpi in dpis}
    with Display("1600x1000x24") as display:
        for run in range(runs):
            order = dpis[run % len(dpis):] + dpis[:run % len(dpis)]
            for dpi in order:
                results[dpi].append(one_run(tree, display, dpi))
    print("runs: %d per DPI, fresh prefix each, order rotated" % runs)
    for dpi in dpis:
        print("%d DPI wall, run by run: %s" % (dpi, " ".join("%.1f" % x["wall"] for x in results[dpi])))
    for dpi in dpis:
        r = results[dpi]

        def med(key):
            values = [x[key] for x in r]
            return "median %.1f ms (min %.1f, max %.1f)" % (statistics.median(values), min(values), max(values))
        print("%d DPI: skinned window, creation to first paint: wall %s" % (dpi, med("wall")))
        print("%d DPI:   of which building the window %s" % (dpi, med("created")))
        print("%d DPI:   same span, UI thread CPU %s" % (dpi, med("cpu")))
        print("%d DPI:   whole viewer process CPU %s" % (dpi, med("process_cpu")))
        print("%d DPI: plain Win32 window, creation to first paint: %s" % (dpi, med("plain")))
        print("%d DPI: plain Win32 window shown after the skinned one: %s" % (dpi, med("plain_after")))
    if len(dpis) > 1:
        base = statistics.median(x["wall"] for x in results[dpis[0]])
        for dpi in dpis[1:]:
            ratio = statistics.median(x["wall"] for x in results[dpi]) / base
            print("first paint at %d DPI / %d DPI (medians): %.2f" % (dpi, dpis[0], ratio))
    print("skin package: %d bytes" % os.path.getsize(os.path.join(tree, "skin", "skin.zip")))


if __name__ == "__main__":
    main()
