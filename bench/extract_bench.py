#!/usr/bin/env python3
"""Rounds of the extraction benchmark; run through run_extract_bench.sh,
which builds and packs the inputs. Prints one table with the median of each
method, the ratios to the targets, and the memory and disk figures of (b).
"""
import argparse
import json
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import threading
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "harness"))
import tnharness  # noqa: E402

SIGNATURE = b"7z\xbc\xaf\x27\x1c"


def archive_password(source_dir):
    with open(os.path.join(source_dir, "payload", "archive_password.h"), encoding="utf-8") as f:
        return re.search(r'kArchivePassword\[\]\s*=\s*"([^"]*)"', f.read()).group(1)


def carve_archive(installer, out_path):
    """Copies the 7z archive behind the installer's image into its own file,
    for the 7-Zip command lines: the first signature with a valid start
    header checksum."""
    with open(installer, "rb") as f:
        data = f.read()
    at = 0
    while True:
        at = data.find(SIGNATURE, at)
        if at < 0:
            raise SystemExit("no 7z archive in %s" % installer)
        header = data[at + 12:at + 32]
        if len(header) == 20 and zlib.crc32(header) == struct.unpack_from("<I", data, at + 8)[0]:
            break
        at += 1
    with open(out_path, "wb") as f:
        f.write(data[at:])
    return at


def tree_summary(path):
    files = 0
    size = 0
    dirs = 0
    for base, subdirs, names in os.walk(path):
        dirs += len(subdirs)
        for name in names:
            files += 1
            size += os.path.getsize(os.path.join(base, name))
    return files, size, dirs


def du_bytes(path, exclude):
    result = subprocess.run(["du", "-sb", "--exclude=" + exclude, path],
                            capture_output=True, text=True)
    try:
        return int(result.stdout.split()[0])
    except (IndexError, ValueError):
        return None


def find_wine_pid(exe_name):
    """The Linux process of a running Windows program: Wine shows the
    program's own command line as the process's."""
    wanted = exe_name.lower().encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                first = f.read().split(b"\0")[0].lower()
        except OSError:
            continue
        if first.replace(b"/", b"\\").endswith(b"\\" + wanted) or first == wanted:
            return int(entry)
    return None


def rss_anon_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


class Bench:
    def __init__(self, args):
        self.args = args
        self.password = archive_password(tnharness.SOURCE_DIR)
        self.times = {"a": [], "a'": [], "b": [], "b wall": [], "c": []}
        self.memory = []
        self.disk = []
        self.notes = []

    def clean(self, path):
        shutil.rmtree(path, ignore_errors=True)
        subprocess.run(["sync"], check=False)

    def timed(self, command, env=None, **kwargs):
        begin = time.perf_counter()
        result = subprocess.run(command, env=env, **kwargs)
        return time.perf_counter() - begin, result

    def run(self):
        with tnharness.Display() as display, tnharness.Prefix(64) as prefix:
            self.prefix = prefix
            self.env = prefix.env(display)
            server = subprocess.Popen(["wineserver", "-p", "-f"], env=self.env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                self.prepare()
                methods = [("a", self.native_7zz), ("a'", self.wine_7za),
                           ("b", self.ours), ("c", self.nsis)]
                for round_index in range(self.args.rounds):
                    shift = round_index % len(methods)
                    order = methods[shift:] + methods[:shift]
                    for name, method in order:
                        method(round_index)
                    print("round %d done: %s" % (round_index + 1, ", ".join(
                        "%s %.2f s" % (n, self.times[n][-1]) for n in self.times)),
                        file=sys.stderr, flush=True)
            finally:
                prefix.kill()
                server.wait(timeout=30)
        with open(os.path.join(self.args.work, "bench_raw.json"), "w") as f:
            json.dump({"times": self.times, "memory": self.memory, "disk": self.disk}, f, indent=1)
        self.report()

    def prepare(self):
        self.bench_dir = self.prefix.drive_c("bench")
        self.inputs = os.path.join(self.bench_dir, "in")
        self.work_dir = os.path.join(self.bench_dir, "work")
        os.makedirs(self.inputs, exist_ok=True)
        os.makedirs(self.work_dir, exist_ok=True)
        shutil.copy(self.args.installer, os.path.join(self.inputs, "setup.exe"))
        shutil.copy(self.args.nsis, os.path.join(self.inputs, "nsis_setup.exe"))
        shutil.copy(self.args.sevenza, os.path.join(self.inputs, "7za.exe"))
        shutil.copy(os.path.join(self.args.win_tree, "bench", "extract_bench.exe"), self.inputs)
        # The installer writes the library into its work directory before
        # extracting; the bench does it up front.
        shutil.copy(os.path.join(self.args.win_tree, "7zTmp.dll"), self.work_dir)
        self.archive = os.path.join(self.inputs, "payload.7z")
        offset = carve_archive(self.args.installer, self.archive)
        self.archive_size = os.path.getsize(self.archive)
        self.expected = tree_summary(os.path.join(self.args.work, "product"))
        print("archive at offset %d, %.1f MB; product %d files, %.1f MB, %d folders" % (
            offset, self.archive_size / 1e6, self.expected[0],
            self.expected[1] / 1e6, self.expected[2]), file=sys.stderr)
        # Warm Wine itself once so the first timed method does not pay for it.
        subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def target(self, name):
        return os.path.join(self.bench_dir, "out_" + name)

    def check(self, name, path, round_index):
        files, size, dirs = tree_summary(path)
        if (files, size) != self.expected[:2]:
            raise SystemExit("%s extracted %d files, %d bytes; expected %d files, %d bytes"
                             % (name, files, size, self.expected[0], self.expected[1]))
        if round_index == 0 and dirs != self.expected[2]:
            self.notes.append("%s made %d folders, the product has %d (empty folders)"
                              % (name, dirs, self.expected[2]))

    def native_7zz(self, round_index):
        path = self.target("a")
        self.clean(path)
        elapsed, result = self.timed(["7zz", "x", "-y", "-bso0", "-bsp0", "-p" + self.password,
                                      "-o" + path, self.archive])
        if result.returncode:
            raise SystemExit("7zz failed: %d" % result.returncode)
        self.times["a"].append(elapsed)
        self.check("a", path, round_index)

    def wine_7za(self, round_index):
        path = self.target("a7za")
        self.clean(path)
        elapsed, result = self.timed(
            ["wine", r"C:\bench\in\7za.exe", "x", "-y", "-bso0", "-bsp0", "-p" + self.password,
             r"-oC:\bench\out_a7za", r"C:\bench\in\payload.7z"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if result.returncode:
            raise SystemExit("7za failed: %d" % result.returncode)
        self.times["a'"].append(elapsed)
        self.check("a'", path, round_index)

    def nsis(self, round_index):
        path = self.target("nsis")
        self.clean(path)
        elapsed, result = self.timed(
            ["wine", r"C:\bench\in\nsis_setup.exe", "/S", r"/D=C:\bench\out_nsis"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if result.returncode:
            raise SystemExit("NSIS installer failed: %d" % result.returncode)
        self.times["c"].append(elapsed)
        self.check("c", path, round_index)

    def ours(self, round_index):
        path = self.target("b")
        self.clean(path)
        drive_c = self.prefix.drive_c()
        exclude = os.path.basename(path)
        disk_before = du_bytes(drive_c, exclude)
        samples = {"rss": [], "disk": []}
        done = threading.Event()
        state = {"pid": None, "idle_rss": None}

        def watch():
            last_disk = 0.0
            while not done.is_set():
                if state["pid"] is None:
                    state["pid"] = find_wine_pid("extract_bench.exe")
                if state["pid"] is not None:
                    rss = rss_anon_kib(state["pid"])
                    if rss is not None:
                        samples["rss"].append(rss)
                now = time.perf_counter()
                if now - last_disk > 0.5:
                    last_disk = now
                    value = du_bytes(drive_c, exclude)
                    if value is not None:
                        samples["disk"].append(value)
                time.sleep(0.02)

        begin = time.perf_counter()
        process = subprocess.Popen(
            ["wine", r"C:\bench\in\extract_bench.exe", r"C:\bench\in\setup.exe", r"C:\bench\work",
             r"C:\bench\out_b"],
            env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        watcher = threading.Thread(target=watch, daemon=True)
        watcher.start()
        lines = []
        for line in process.stdout:
            lines.append(line.strip())
            if line.startswith("idle"):
                # The program waits half a second after this line.
                time.sleep(0.2)
                if state["pid"] is None:
                    state["pid"] = find_wine_pid("extract_bench.exe")
                if state["pid"] is not None:
                    state["idle_rss"] = rss_anon_kib(state["pid"])
        process.wait()
        wall = time.perf_counter() - begin
        done.set()
        watcher.join()
        result = next((l for l in lines if l.startswith("result")), "")
        fields = dict(item.split("=", 1) for item in result.split()[1:])
        if process.returncode or fields.get("code") != "0":
            raise SystemExit("our extraction failed (%d): %s" % (process.returncode, lines))
        self.times["b"].append(float(fields["extract_ms"]) / 1000.0)
        self.times["b wall"].append(wall)
        idle = next((l for l in lines if l.startswith("idle")), "idle private_bytes=0")
        idle_private = int(idle.split("=", 1)[1])
        peak_rss = max(samples["rss"]) if samples["rss"] else None
        peak_private = max(int(fields["peak_private_bytes"]), int(fields["sampled_peak_private_bytes"]))
        self.memory.append({
            "peak_private_mb": (peak_private - idle_private) / 2**20,
            "rss_anon_mb": ((peak_rss - state["idle_rss"]) / 1024.0
                            if peak_rss is not None and state["idle_rss"] is not None else None),
            "item_errors": int(fields.get("item_errors", "0")),
        })
        peak_disk = max(samples["disk"]) if samples["disk"] else disk_before
        self.disk.append((peak_disk - disk_before) if disk_before is not None else None)
        self.check("b", path, round_index)

    def report(self):
        med = {name: statistics.median(values) for name, values in self.times.items() if values}
        print()
        print("Extraction of %d files, %.1f MB (archive %.1f MB), %d rounds, median [min..max] s:"
              % (self.expected[0], self.expected[1] / 1e6, self.archive_size / 1e6,
                 self.args.rounds))
        labels = {
            "a": "(a)  7zz x, native",
            "a'": "(a') 7za x, Wine",
            "b": "(b)  ours, Wine, StartExtraction..last 100%",
            "b wall": "     ours, Wine, whole process",
            "c": "(c)  NSIS /S, Wine",
        }
        for name in ("a", "a'", "b", "b wall", "c"):
            values = self.times[name]
            print("  %-46s %7.2f  [%.2f..%.2f]" % (labels[name], med[name], min(values), max(values)))
        print()
        ratio_a = med["b"] / med["a'"]
        ratio_c = med["b"] / med["c"]
        print("  (b)/(a') = %.3f   target <= 1.05   %s" % (ratio_a, "met" if ratio_a <= 1.05 else "MISSED"))
        print("  (b)/(c)  = %.3f   target <= 0.50   %s" % (ratio_c, "met" if ratio_c <= 0.5 else "MISSED"))
        print("  (b)/(a)  = %.3f   (native 7zz, for reference)" % (med["b"] / med["a"]))
        peaks = [m["peak_private_mb"] for m in self.memory]
        rss = [m["rss_anon_mb"] for m in self.memory if m["rss_anon_mb"] is not None]
        # Wine keeps its Windows memory counters only roughly, so the target
        # is judged on the resident anonymous memory of the Wine process,
        # which holds every heap and VirtualAlloc page of the program.
        if rss:
            print("  (b) peak private memory above idle (RssAnon of the Wine process, sampled every 20 ms):"
                  " median %.1f MB, max %.1f MB   target <= 64 MB   %s"
                  % (statistics.median(rss), max(rss), "met" if max(rss) <= 64 else "MISSED"))
        print("      (Windows counters as Wine reports them: median %.1f MB, max %.1f MB above idle)"
              % (statistics.median(peaks), max(peaks)))
        disk = [d for d in self.disk if d is not None]
        if disk:
            print("  (b) disk used outside the install directory during extraction: max %+d bytes "
                  "(sampled every 0.5 s; the library was in the work directory before)" % max(disk))
        errors = max(m["item_errors"] for m in self.memory)
        if errors:
            print("  (b) item errors reported: %d" % errors)
        for note in self.notes:
            print("  note: " + note)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--win-tree", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("--nsis", required=True)
    parser.add_argument("--sevenza", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    if args.rounds < 1:
        parser.error("at least one round")
    Bench(args).run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
