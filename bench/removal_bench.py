#!/usr/bin/env python3
"""How long the removal of an earlier installation takes under Wine, and how
long the window is frozen meanwhile, in the real installer clicked through.

Each run is a fresh prefix holding an earlier installation (an uninstall
entry whose DisplayIcon names C:\\Apps\\ZEVodirodaz\\ZEVodirodaz.exe), and
one of these cases:
  list2000   a delete list of 2,000 entries, every one an existing file
             beside the earlier directory
  list20000  the same with 20,000 entries
  inside2000 a delete list of 2,000 entries naming files inside the earlier
             directory
  dir2000    an earlier directory of 2,000 files and no delete list
  list50mb   a delete list of about 50 MB (194,000 entries with long paths,
             a quarter of them existing files)
The removal is timed from the installer's own trace, from "removal starts"
to "extraction starts", less the sequence's fixed pauses (100 + 200 + 300
ms). Frozen is the longest a message to the window waited meanwhile
(winauto responsive). CPU is the installer's and the Wine server's, from
the click to the start of the extraction.

usage: removal_bench.py [--rounds N] [--before STUB] [--cases a,b,...]
  --before STUB  an installer stub of another build, run side by side with
                 build/win32/tnsetup.exe in rotated order
Needs the build trees (scripts/build.sh); not run by ctest.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
os.environ.setdefault("TN_SOURCE_DIR", ROOT)
os.environ.setdefault("TN_BUILD_DIR", os.path.join(ROOT, "build", "win32"))
os.environ.setdefault("TN_HOST_BUILD_DIR", os.path.join(ROOT, "build", "host"))
sys.path[:0] = [os.path.join(ROOT, "tests", "harness"), os.path.join(ROOT, "tests", "e2e"),
                os.path.dirname(__file__)]

import tnharness  # noqa: E402
from extract_bench import cpu_seconds  # noqa: E402
from install_session import (  # noqa: E402
    SETUP_WIN, TRACE_LINE, UNINSTALL_KEY, WELCOME, decode_trace_text, pack)

PAUSES_S = 0.6
REMOVAL_STARTS = "开始删除之前安装的Tarnis模拟器文件!"
EXTRACTION_STARTS = "开始释放解压文件"
CASES = ("list2000", "list20000", "inside2000", "dir2000", "list50mb")


def make_case(prefix, case):
    """The earlier installation of |case| inside |prefix|."""
    apps = prefix.drive_c("Apps")
    old_dir = os.path.join(apps, "ZEVodirodaz")
    os.makedirs(old_dir)
    with open(os.path.join(old_dir, "ZEVodirodaz.exe"), "wb") as f:
        f.write(b"earlier program")
    entries, existing_every, where = 0, 1, ("Apps", "listed")
    if case == "dir2000":
        for i in range(2000):
            folder = os.path.join(old_dir, "data", "%02d" % (i // 100))
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "%04d.bin" % i), "wb") as f:
                f.write(b"x" * 64)
    elif case in ("list2000", "list20000"):
        entries = int(case[4:])
    elif case == "inside2000":
        entries, where = 2000, ("Apps", "ZEVodirodaz", "listed")
    elif case == "list50mb":
        entries, existing_every = 194000, 4
    if entries:
        # Long names make the 50 MB list what the issue measured: about 270
        # bytes an entry.
        name = "listed_file_" + ("n" * (180 if case == "list50mb" else 8))
        lines = ["<Tarnis><DeleteFiles>"]
        for i in range(entries):
            folder = "C:\\%s\\%03d" % ("\\".join(where), i // 1000)
            path = "%s\\%s_%06d.txt" % (folder, name, i)
            lines.append("<DeleteFile>%s</DeleteFile>" % path)
            if i % existing_every == 0:
                host = prefix.drive_c(*where, "%03d" % (i // 1000))
                os.makedirs(host, exist_ok=True)
                open(os.path.join(host, "%s_%06d.txt" % (name, i)), "wb").close()
        lines.append("</DeleteFiles></Tarnis>")
        with open(os.path.join(apps, "DeleteFile.xml"), "w") as f:
            f.write("\n".join(lines))
    subprocess.run(["wine", "reg", "add", "HKLM\\" + UNINSTALL_KEY, "/v", "DisplayIcon", "/t",
                    "REG_SZ", "/d", r"C:\Apps\ZEVodirodaz\ZEVodirodaz.exe", "/f", "/reg:32"],
                   env=prefix.env(), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    list_size = os.path.getsize(os.path.join(apps, "DeleteFile.xml")) if entries else 0
    return list_size


def trace_times(path):
    times = {}
    with open(path, "rb") as f:
        for raw in f.read().decode("latin-1").splitlines():
            m = TRACE_LINE.match(raw)
            if not m:
                continue
            text = decode_trace_text(m.group(2))
            for key in (REMOVAL_STARTS, EXTRACTION_STARTS):
                if text.startswith(key) and key not in times:
                    times[key] = float(m.group(1))
    return times


def wineserver_pid(prefix):
    out = subprocess.run(["pgrep", "-f", "wineserver"], capture_output=True, text=True).stdout
    for pid in out.split():
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if ("WINEPREFIX=" + prefix.path).encode() in f.read().split(b"\0"):
                    return int(pid)
        except OSError:
            pass
    return None


def run_once(setup_exe, case, shots):
    with tnharness.Display() as display, tnharness.Prefix(64) as prefix:
        list_size = make_case(prefix, case)
        auto = tnharness.WinAuto(prefix, display)
        os.makedirs(prefix.drive_c("Downloads"), exist_ok=True)
        shutil.copy(setup_exe, prefix.drive_c("Downloads", "TarnisSetup.exe"))
        trace = os.path.join(prefix.path, "trace.log")
        env = prefix.env(display)
        env["WINEDEBUG"] = "-all,+debugstr,+timestamp"
        with open(trace, "wb") as out:
            proc = subprocess.Popen(["wine", SETUP_WIN], env=env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=out)
        window = auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=60)
        if not window:
            raise SystemExit("the installer window did not open")
        time.sleep(1)
        probe_out = tempfile.TemporaryFile()
        probe = subprocess.Popen(["wine", auto.exe, "responsive", str(window.hwnd), "3600000"],
                                 env=prefix.env(display), stdout=probe_out,
                                 stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        time.sleep(1)
        server = wineserver_pid(prefix)
        cpu_before, server_before = cpu_seconds(proc.pid), cpu_seconds(server) if server else None
        auto.click(window, *WELCOME["btn_install"])
        deadline = time.monotonic() + 3600
        cpu_at = server_at = None
        while time.monotonic() < deadline and proc.poll() is None:
            if EXTRACTION_STARTS in trace_times(trace):
                cpu_at = cpu_seconds(proc.pid)
                server_at = cpu_seconds(server) if server else None
                break
            time.sleep(0.05)
        why = auto.wait_page(window, "finish", 600, proc=proc,
                             screenshot=os.path.join(shots, "%s_finish.png" % case))
        if why:
            raise SystemExit("%s: %s" % (case, why))
        auto.click(window, 590, 13)
        proc.wait(600)
        probe.wait(60)
        probe_out.seek(0)
        times = trace_times(trace)
        start, end = times[REMOVAL_STARTS], times[EXTRACTION_STARTS]
        frozen = 0
        for line in probe_out.read().decode().splitlines():
            m = re.match(r'\{"sent":(\d+),"waited_ms":(\d+)\}', line)
            # A wait that overlaps the removal counts.
            if m and int(m.group(1)) / 1000.0 <= end and int(m.group(1)) / 1000.0 + int(m.group(2)) / 1000.0 >= start:
                frozen = max(frozen, int(m.group(2)))
        leftovers = [n for _, dirs, files in os.walk(prefix.drive_c("Apps")) for n in dirs + files
                     if ".~tnbak-" in n]
        return {"removal": end - start - PAUSES_S, "frozen_ms": frozen, "list_bytes": list_size,
                "cpu": (cpu_at - cpu_before) if None not in (cpu_at, cpu_before) else None,
                "server_cpu": (server_at - server_before) if None not in (server_at, server_before) else None,
                "leftovers": len(leftovers)}


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--before", help="the installer stub of another build")
    parser.add_argument("--cases", default=",".join(CASES))
    args = parser.parse_args(argv[1:])
    cases = args.cases.split(",")
    work = tempfile.mkdtemp(prefix="removal-bench-", dir=os.path.join(tnharness.BUILD_DIR, "scratch"))
    shots = os.path.join(tnharness.BUILD_DIR, "screenshots", "bench")
    os.makedirs(shots, exist_ok=True)
    tnharness.prepare_templates()
    stubs = {"after": os.path.join(tnharness.BUILD_DIR, "tnsetup.exe")}
    if args.before:
        stubs["before"] = os.path.abspath(args.before)
    installers = {}
    for label, stub in stubs.items():
        local = os.path.join(work, label + "_tnsetup.exe")
        shutil.copy(stub, local)
        installers[label] = pack(os.path.join(work, label + "_setup.exe"), stub=local)
    runs = [(label, case) for case in cases for label in installers]
    results = {}
    for round_index in range(args.rounds):
        order = runs[round_index % len(runs):] + runs[:round_index % len(runs)]
        for label, case in order:
            # The 50 MB list takes a quarter of an hour with the removal of
            # old; it is measured once per build.
            if case == "list50mb" and round_index > 0:
                continue
            result = run_once(installers[label], case, shots)
            results.setdefault((label, case), []).append(result)
            print("round %d %-6s %-9s removal %7.3f s  frozen %6d ms  cpu %s  server %s  list %d B  "
                  "backups left %d" % (round_index + 1, label, case, result["removal"],
                                       result["frozen_ms"], "%.2f" % result["cpu"] if result["cpu"] is not None else "?",
                                       "%.2f" % result["server_cpu"] if result["server_cpu"] is not None else "?",
                                       result["list_bytes"], result["leftovers"]), flush=True)
    print("\nmedians (removal s, longest frozen ms, installer CPU s, Wine server CPU s):")
    for case in cases:
        for label in installers:
            rs = results.get((label, case), [])
            if not rs:
                continue

            def median(key):
                values = [r[key] for r in rs if r[key] is not None]
                return statistics.median(values) if values else float("nan")
            print("  %-9s %-6s %8.3f  %7d  %6.2f  %6.2f  (%d runs)" % (
                case, label, median("removal"), median("frozen_ms"), median("cpu"),
                median("server_cpu"), len(rs)))
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
