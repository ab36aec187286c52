#!/usr/bin/env python3
"""Rounds of the install-speed benchmark; run through run_extract_bench.sh,
which builds and packs the inputs.

Every method runs in a fresh copy of the 64-bit template prefix, with its
own Wine server started and Wine warmed up (one "cmd /c exit") before the
clock starts, and the order of the methods rotates from round to round:

  7za        7-Zip's own console (i686, built from Debian's source) under Wine
  bench      bench/extract_bench.exe: the extraction worker alone
  installer  the real installer: a real click on "立即安装" on the welcome
             page, until the finish page is on the screen
  nsis       an NSIS installer of the same files, silent, under Wine
  7zz        Debian's 7-Zip natively, for reference (no prefix)
  bench0, installer0   the same two with another (earlier) build, when
             --baseline-bench and --baseline-installer are given

Per method: wall time, CPU time of the process (all its threads) and CPU
time of the prefix's Wine server. In the installer's prefix also the time
from process start to the first painted window, beside that of a plain
Win32 window (bench/plain_window.exe) started the same way.

Prints the raw rounds, then medians and ranges and the ratios to the
targets; writes bench_raw.json into the work folder.
"""
import argparse
import contextlib
import json
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "harness"))
import tnharness  # noqa: E402
import xscreen  # noqa: E402

SIGNATURE = b"7z\xbc\xaf\x27\x1c"
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
WINDOW_SIZE = (610, 390)
INSTALL_BUTTON = (305, 311)
# The finish page's start button; the welcome and installing pages show
# something else there.
FINISH_REGION = (240, 292, 130, 46)
INSTALL_DIR = ("Program Files (x86)", "ZEVodirodaz")
METHODS = ("7za", "bench", "installer", "nsis", "7zz", "bench0", "installer0")


def archive_password(source_dir):
    import re
    with open(os.path.join(source_dir, "payload", "archive_password.h"), encoding="utf-8") as f:
        return re.search(r'kArchivePassword\[\]\s*=\s*"([^"]*)"', f.read()).group(1)


def carve_archive(installer, out_path):
    """Copies the 7z archive behind the installer's image into its own file,
    for the 7-Zip command lines."""
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
    files = size = dirs = 0
    for base, subdirs, names in os.walk(path):
        dirs += len(subdirs)
        for name in names:
            files += 1
            size += os.path.getsize(os.path.join(base, name))
    return files, size, dirs


def cpu_seconds(pid):
    """User + system time of a live process, all threads, in seconds."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS
    except (OSError, IndexError, ValueError):
        return None


def link_or_copy(source, target):
    try:
        os.link(source, target)
    except OSError:
        shutil.copy(source, target)


class Bench:
    def __init__(self, args):
        self.args = args
        self.password = archive_password(tnharness.SOURCE_DIR)
        self.methods = [m for m in METHODS if m in args.methods.split(",")]
        if not args.baseline_bench and "bench0" in self.methods:
            self.methods.remove("bench0")
        if not args.baseline_installer and "installer0" in self.methods:
            self.methods.remove("installer0")
        self.rounds = []

    # --- set-up ------------------------------------------------------------

    def run(self):
        self.prepare()
        with tnharness.Display() as display:
            self.display = display
            self.screen = xscreen.Screen(display.name)
            if "installer" in self.methods:
                self.calibrate()
            runners = {"7za": self.wine_7za, "bench": self.bench_program,
                       "installer": self.installer, "nsis": self.nsis, "7zz": self.native_7zz,
                       "bench0": lambda: self.bench_program("extract_bench0.exe"),
                       "installer0": lambda: self.installer("setup0.exe")}
            for index in range(self.args.rounds):
                shift = index % len(self.methods)
                order = self.methods[shift:] + self.methods[:shift]
                record = {"round": index + 1, "order": list(order)}
                for name in order:
                    subprocess.run(["sync"], check=False)
                    record[name] = runners[name]()
                self.rounds.append(record)
                self.print_round(record)
        with open(os.path.join(self.args.work, "bench_raw.json"), "w") as f:
            json.dump({"pauses_ms": self.args.pauses_ms, "rounds": self.rounds}, f, indent=1)
        self.report()

    def prepare(self):
        work = self.args.work
        self.inputs = os.path.join(work, "inputs")
        os.makedirs(self.inputs, exist_ok=True)
        self.archive = os.path.join(self.inputs, "payload.7z")
        offset = carve_archive(self.args.installer, self.archive)
        self.archive_size = os.path.getsize(self.archive)
        self.expected = tree_summary(os.path.join(work, "product"))
        print("archive at offset %d, %.1f MB; product %d files, %.1f MB, %d folders" % (
            offset, self.archive_size / 1e6, self.expected[0], self.expected[1] / 1e6,
            self.expected[2]), file=sys.stderr)

    @contextlib.contextmanager
    def fresh_prefix(self):
        """A new copy of the template with the inputs under C:\\bench\\in, its
        Wine server running and Wine's own start-up already paid."""
        with tnharness.Prefix(64) as prefix:
            env = prefix.env(self.display)
            inputs = prefix.drive_c("bench", "in")
            os.makedirs(inputs)
            os.makedirs(prefix.drive_c("bench", "work"))
            sources = {
                "setup.exe": self.args.installer, "nsis_setup.exe": self.args.nsis,
                "setup0.exe": self.args.baseline_installer or self.args.installer,
                "extract_bench0.exe": self.args.baseline_bench or self.args.sevenza,
                "7za.exe": self.args.sevenza, "payload.7z": self.archive,
                "extract_bench.exe": self.args.bench_exe or os.path.join(
                    self.args.win_tree, "bench", "extract_bench.exe"),
                "plain_window.exe": os.path.join(self.args.win_tree, "bench", "plain_window.exe"),
            }
            for name, source in sources.items():
                link_or_copy(source, os.path.join(inputs, name))
            shutil.copy(os.path.join(self.args.win_tree, "7zTmp.dll"), prefix.drive_c("bench", "work"))
            server = subprocess.Popen(["wineserver", "-p", "-f"], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                # Wine's helper processes finish starting in the background.
                time.sleep(1.5)
                yield prefix, env, server.pid
            finally:
                prefix.kill()
                try:
                    server.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    server.kill()

    def check_tree(self, name, path):
        files, size, _ = tree_summary(path)
        if (files, size) != self.expected[:2]:
            raise SystemExit("%s extracted %d files, %d bytes; expected %d files, %d bytes"
                             % (name, files, size, self.expected[0], self.expected[1]))

    # --- methods that run to their end ------------------------------------

    def run_to_end(self, command, env, server_pid):
        """Wall and CPU time of a program that ends by itself."""
        with tempfile.TemporaryFile() as out:
            server_before = cpu_seconds(server_pid)
            begin = time.perf_counter()
            process = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=subprocess.DEVNULL)
            _, status, usage = os.wait4(process.pid, 0)
            wall = time.perf_counter() - begin
            process.returncode = os.waitstatus_to_exitcode(status)
            server_after = cpu_seconds(server_pid) if server_pid else None
            out.seek(0)
            text = out.read().decode("utf-8", "replace")
        result = {
            "wall": wall,
            "cpu": usage.ru_utime + usage.ru_stime,
            "code": process.returncode,
        }
        if server_pid:
            result["server_cpu"] = server_after - server_before
        return result, text

    def wine_7za(self):
        with self.fresh_prefix() as (prefix, env, server):
            result, _ = self.run_to_end(
                ["wine", r"C:\bench\in\7za.exe", "x", "-y", "-bso0", "-bsp0", "-p" + self.password,
                 r"-oC:\bench\out", r"C:\bench\in\payload.7z"], env, server)
            if result["code"]:
                raise SystemExit("7za failed: %d" % result["code"])
            self.check_tree("7za", prefix.drive_c("bench", "out"))
        return result

    def nsis(self):
        with self.fresh_prefix() as (prefix, env, server):
            result, _ = self.run_to_end(
                ["wine", r"C:\bench\in\nsis_setup.exe", "/S", r"/D=C:\bench\out"], env, server)
            if result["code"]:
                raise SystemExit("NSIS installer failed: %d" % result["code"])
            self.check_tree("nsis", prefix.drive_c("bench", "out"))
        return result

    def bench_program(self, exe="extract_bench.exe"):
        with self.fresh_prefix() as (prefix, env, server):
            result, text = self.run_to_end(
                ["wine", "C:\\bench\\in\\" + exe, r"C:\bench\in\setup.exe",
                 r"C:\bench\work", r"C:\bench\out"], env, server)
            line = next((l for l in text.splitlines() if l.startswith("result")), "")
            fields = dict(item.split("=", 1) for item in line.split()[1:])
            if result["code"] or fields.get("code") != "0":
                raise SystemExit("extract_bench failed (%d): %s" % (result["code"], text))
            # Its own clock: StartExtraction to the 100-percent message,
            # which includes the 200 ms pause before loading the library.
            result["extract"] = float(fields["extract_ms"]) / 1000.0
            self.check_tree("bench", prefix.drive_c("bench", "out"))
        return result

    def native_7zz(self):
        path = os.path.join(self.args.work, "out_7zz")
        shutil.rmtree(path, ignore_errors=True)
        result, _ = self.run_to_end(["7zz", "x", "-y", "-bso0", "-bsp0", "-p" + self.password,
                                     "-o" + path, self.archive], dict(os.environ), None)
        if result["code"]:
            raise SystemExit("7zz failed: %d" % result["code"])
        self.check_tree("7zz", path)
        shutil.rmtree(path, ignore_errors=True)
        return result

    # --- windows ---------------------------------------------------------

    def window_origin(self):
        width, height = (int(v) for v in self.display.size.split("x")[:2])
        return (width - WINDOW_SIZE[0]) // 2, (height - WINDOW_SIZE[1]) // 2

    def grab_window(self, region=None):
        x, y = self.window_origin()
        if region is None:
            region = (0, 0) + WINDOW_SIZE
        return self.screen.grab(x + region[0], y + region[1], region[2], region[3])

    def first_paint(self, env, exe):
        """Seconds from starting |exe| to its window's first pixels on the
        screen (a centred 610 x 390 window), and the process."""
        probe = (WINDOW_SIZE[0] // 2 - 40, WINDOW_SIZE[1] // 2 - 40, 80, 80)
        before = self.grab_window(probe)
        begin = time.perf_counter()
        process = subprocess.Popen(["wine", exe], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while time.perf_counter() - begin < 60:
            if xscreen.changed_share(before, self.grab_window(probe)) > 0.5:
                return time.perf_counter() - begin, process
            time.sleep(0.002)
        raise SystemExit("no window of %s appeared" % exe)

    def wait_for_region(self, region, wanted, timeout, interval=0.01):
        begin = time.perf_counter()
        while time.perf_counter() - begin < timeout:
            now = self.grab_window(region)
            if now == wanted or xscreen.changed_share(wanted, now) < 0.03:
                return time.perf_counter()
            time.sleep(interval)
        return None

    def start_installer(self, prefix, env, exe="setup.exe"):
        """Starts the installer, measures its first paint beside the plain
        window's, and returns with the welcome page settled."""
        plain, process = self.first_paint(env, r"C:\bench\in\plain_window.exe")
        process.wait(30)
        time.sleep(0.5)
        ours, installer = self.first_paint(env, "C:\\bench\\in\\" + exe)
        auto = tnharness.WinAuto(prefix, self.display, build_dir=self.args.win_tree)
        window = auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=40)
        if not window:
            raise SystemExit("the installer's window did not appear")
        x, y = self.window_origin()
        if window.client_origin != (x, y):
            raise SystemExit("the installer's window is at %s, not centred" % (window.client_origin,))
        time.sleep(1.0)
        return installer, {"first_paint": ours, "plain_first_paint": plain}

    def click_install(self):
        x, y = self.window_origin()
        self.display.xdotool("mousemove", "--sync", x + INSTALL_BUTTON[0], y + INSTALL_BUTTON[1])
        time.sleep(0.2)
        begin = time.perf_counter()
        self.display.xdotool("click", 1)
        return begin

    def calibrate(self):
        """One untimed installation: learns what the finish page shows where
        its start button is, and that the welcome page differs there."""
        with self.fresh_prefix() as (prefix, env, _):
            installer, _ = self.start_installer(prefix, env)
            welcome = self.grab_window(FINISH_REGION)
            self.display.screenshot(os.path.join(self.args.work, "shots", "welcome.png"))
            self.click_install()
            target = prefix.drive_c(*INSTALL_DIR)
            deadline = time.monotonic() + 180
            while tree_summary(target)[:2] != self.expected[:2]:
                if time.monotonic() > deadline or installer.poll() is not None:
                    raise SystemExit("calibration: the installer did not extract the product")
                time.sleep(0.5)
            # The installing page changes its picture every 2 s: a window
            # that stays the same for 3 s shows the finish page.
            last = self.grab_window()
            still_since = time.monotonic()
            while time.monotonic() - still_since < 3.0:
                if time.monotonic() > deadline:
                    raise SystemExit("calibration: the window never settled")
                time.sleep(0.25)
                now = self.grab_window()
                if now != last:
                    last, still_since = now, time.monotonic()
            self.display.screenshot(os.path.join(self.args.work, "shots", "finish.png"))
            self.finish = self.grab_window(FINISH_REGION)
            if xscreen.changed_share(welcome, self.finish) < 0.2:
                raise SystemExit("calibration: the finish page looks like the welcome page there")

    def installer(self, exe="setup.exe"):
        with self.fresh_prefix() as (prefix, env, server):
            process, result = self.start_installer(prefix, env, exe)
            cpu_before = cpu_seconds(process.pid)
            server_before = cpu_seconds(server)
            begin = self.click_install()
            finished = self.wait_for_region(FINISH_REGION, self.finish, 300)
            cpu_after = cpu_seconds(process.pid)
            server_after = cpu_seconds(server)
            if finished is None:
                self.display.screenshot(os.path.join(self.args.work, "shots", "no_finish.png"))
                raise SystemExit("the installer did not reach the finish page")
            result.update({
                "click_to_finish": finished - begin,
                "wall": finished - begin - self.args.pauses_ms / 1000.0,
                "cpu": (cpu_after - cpu_before) if None not in (cpu_before, cpu_after) else None,
                "server_cpu": server_after - server_before,
            })
            self.check_tree("installer", prefix.drive_c(*INSTALL_DIR))
        return result

    # --- report ------------------------------------------------------------

    def print_round(self, record):
        parts = []
        for name in self.methods:
            r = record[name]
            text = "%s %.2f s" % (name, r["wall"])
            if r.get("cpu") is not None:
                text += " (cpu %.2f" % r["cpu"]
                if r.get("server_cpu") is not None:
                    text += ", server %.2f" % r["server_cpu"]
                text += ")"
            parts.append(text)
        inst = record.get("installer", {})
        print("round %d [%s]: %s; first paint %s s, plain %s s" % (
            record["round"], " ".join(record["order"]), "; ".join(parts),
            inst.get("first_paint"), inst.get("plain_first_paint")), file=sys.stderr, flush=True)

    def values(self, method, key):
        return [r[method][key] for r in self.rounds
                if method in r and r[method].get(key) is not None]

    def report(self):
        rounds = len(self.rounds)
        print()
        print("Product: %d files, %.1f MB (archive %.1f MB); %d rounds, fresh prefix per method, "
              "order rotated." % (self.expected[0], self.expected[1] / 1e6,
                                  self.archive_size / 1e6, rounds))
        print("Installer: click on the install button to the finish page on the screen, "
              "less %d ms of fixed pauses." % self.args.pauses_ms)
        print()
        print("Raw rounds (s): wall / process CPU / Wine server CPU")
        for record in self.rounds:
            cells = []
            for name in self.methods:
                r = record[name]
                cells.append("%s %.2f/%s/%s" % (
                    name, r["wall"], "%.2f" % r["cpu"] if r.get("cpu") is not None else "-",
                    "%.2f" % r["server_cpu"] if r.get("server_cpu") is not None else "-"))
            extra = []
            if "installer" in record:
                inst = record["installer"]
                extra.append("installer raw click->finish %.2f, first paint %.3f (plain %.3f)" % (
                    inst["click_to_finish"], inst["first_paint"], inst["plain_first_paint"]))
            if "bench" in record:
                extra.append("bench own clock %.2f" % record["bench"]["extract"])
            print("  %d: %s | %s" % (record["round"], "  ".join(cells), "; ".join(extra)))
        print()
        labels = {
            "7za": "(a') 7za x, Wine",
            "bench": "bench program, whole process",
            "installer": "real installer, click -> finish less pauses",
            "nsis": "(c)  NSIS /S, Wine",
            "7zz": "(a)  7zz x, native",
            "bench0": "bench program, baseline build",
            "installer0": "real installer, baseline build",
        }

        def line(label, values):
            if not values:
                return "  %-44s %s" % (label, "-")
            return "  %-44s %6.2f  [%.2f..%.2f]" % (label, statistics.median(values),
                                                   min(values), max(values))
        print("Medians [ranges], seconds:")
        print("  %-44s %s" % ("", "wall"))
        for name in self.methods:
            print(line(labels[name], self.values(name, "wall")))
        print(line("bench program, own clock (incl. 200 ms pause)", self.values("bench", "extract")))
        print(line("real installer, click -> finish, raw", self.values("installer", "click_to_finish")))
        print("  %-44s %s" % ("", "process CPU"))
        for name in self.methods:
            print(line(labels[name], self.values(name, "cpu")))
        print("  %-44s %s" % ("", "Wine server CPU"))
        for name in self.methods:
            if name != "7zz":
                print(line(labels[name], self.values(name, "server_cpu")))
        print(line("first painted window, installer", self.values("installer", "first_paint")))
        print(line("first painted window, plain Win32 window",
                   self.values("installer", "plain_first_paint")))
        print()
        med = {name: statistics.median(self.values(name, "wall")) for name in self.methods}
        if "installer" not in med or "7za" not in med or "bench" not in med:
            return
        ours = med["installer"]
        ratio = ours / med["7za"]
        print("  installer / 7za           = %.3f   target <= 1.00 (stretch 0.75)   %s" % (
            ratio, "met" if ratio <= 1.0 else "MISSED"))
        # Like with like: the bench program's extraction less its one pause.
        bench_net = statistics.median(self.values("bench", "extract")) - 0.2
        ratio_bench = ours / bench_net
        print("  installer / bench program = %.3f   (bench: own clock less its 200 ms pause) "
              "target within 10 %%   %s" % (ratio_bench, "met" if abs(ratio_bench - 1) <= 0.10
                                            else "MISSED"))
        if "nsis" in med:
            print("  installer / NSIS          = %.3f" % (ours / med["nsis"]))
        paint = statistics.median(self.values("installer", "first_paint"))
        plain = statistics.median(self.values("installer", "plain_first_paint"))
        print("  first painted window: installer %.3f s, plain window %.3f s, difference %.3f s;"
              " target <= 0.3 s   %s" % (paint, plain, paint - plain,
                                         "met" if paint <= 0.3 else "MISSED"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--win-tree", required=True)
    parser.add_argument("--installer", required=True)
    parser.add_argument("--nsis", required=True)
    parser.add_argument("--sevenza", required=True)
    parser.add_argument("--bench-exe", help="another build of extract_bench.exe")
    parser.add_argument("--baseline-bench", help="extract_bench.exe to compare with (bench0)")
    parser.add_argument("--baseline-installer", help="packed installer to compare with (installer0)")
    parser.add_argument("--methods", default=",".join(METHODS),
                        help="comma-separated subset of " + ",".join(METHODS))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--pauses-ms", type=int, default=500,
                        help="fixed pauses between the click and the finish page")
    args = parser.parse_args()
    if args.rounds < 1:
        parser.error("at least one round")
    Bench(args).run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
