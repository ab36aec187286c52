#!/usr/bin/env python3
"""Where an extraction under Wine spends its time, thread by thread: runs
7za or the bench program once in a fresh prefix and samples every thread of
the Windows process from /proc every 50 ms (CPU time, voluntary and
involuntary context switches), and the prefix's Wine server likewise.

usage: thread_profile.py [--runs N] [--bench-exe EXE] 7za|bench [...]

Uses the inputs that run_extract_bench.sh leaves in build/bench (the
packed installer, the carved archive and 7za.exe). A thread with many
voluntary switches per CPU second waits a lot: for the Wine server, for a
lock or for another thread's data.

Standard output is the null device, as for an installer started from a shell
or a launcher under Wine: unbuffered, so output written piece by piece shows
here as waits (it once doubled the extraction's time).
"""
import argparse
import os
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "harness"))
import tnharness  # noqa: E402
from extract_bench import archive_password, cpu_seconds  # noqa: E402

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def switches(path):
    voluntary = involuntary = 0
    with open(path) as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches:"):
                voluntary = int(line.split()[1])
            elif line.startswith("nonvoluntary_ctxt_switches:"):
                involuntary = int(line.split()[1])
    return voluntary, involuntary


def threads_of(pid):
    result = {}
    try:
        tids = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return result
    for tid in tids:
        base = "/proc/%d/task/%s/" % (pid, tid)
        try:
            with open(base + "stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            cpu = (int(fields[11]) + int(fields[12])) / CLOCK_TICKS
            result[tid] = (cpu,) + switches(base + "status")
        except (OSError, IndexError, ValueError):
            pass
    return result


def profile(args, which, work, win_tree):
    with tnharness.Prefix(64) as prefix:
        env = prefix.env(None)
        inputs = prefix.drive_c("bench", "in")
        os.makedirs(inputs)
        os.makedirs(prefix.drive_c("bench", "work"))
        for name, source in {
                "setup.exe": os.path.join(work, "setup.exe"),
                "payload.7z": os.path.join(work, "inputs", "payload.7z"),
                "7za.exe": os.path.join(work, "7za.exe"),
                "extract_bench.exe": args.bench_exe or os.path.join(win_tree, "bench",
                                                                    "extract_bench.exe")}.items():
            os.link(source, os.path.join(inputs, name))
        shutil.copy(os.path.join(win_tree, "7zTmp.dll"), prefix.drive_c("bench", "work"))
        server = subprocess.Popen(["wineserver", "-p", "-f"], env=env)
        subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        time.sleep(1.5)
        if which == "7za":
            command = ["wine", r"C:\bench\in\7za.exe", "x", "-y", "-bso0", "-bsp0",
                       "-p" + archive_password(tnharness.SOURCE_DIR), r"-oC:\bench\out",
                       r"C:\bench\in\payload.7z"]
        else:
            command = ["wine", r"C:\bench\in\extract_bench.exe", r"C:\bench\in\setup.exe",
                       r"C:\bench\work", r"C:\bench\out"]
        server_cpu = cpu_seconds(server.pid)
        server_switches = switches("/proc/%d/status" % server.pid)
        begin = time.perf_counter()
        process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        last = {}

        def sample():
            while process.poll() is None:
                last.update(threads_of(process.pid))
                time.sleep(0.05)
        sampler = threading.Thread(target=sample)
        sampler.start()
        process.wait()
        sampler.join()
        wall = time.perf_counter() - begin
        server_cpu = cpu_seconds(server.pid) - server_cpu
        server_voluntary = switches("/proc/%d/status" % server.pid)[0] - server_switches[0]
        prefix.kill()
        server.wait()
    busy = sorted((v for v in last.values() if v[0] >= 0.05), reverse=True)
    print("%-6s wall %5.2f s  server cpu %.2f s, %d waits | threads (cpu s / voluntary / "
          "involuntary switches): %s" % (
              which, wall, server_cpu, server_voluntary,
              "  ".join("%.2f/%d/%d" % t for t in busy)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("which", nargs="+", choices=("7za", "bench"))
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--bench-exe")
    args = parser.parse_args()
    root = os.path.abspath(os.path.join(HERE, ".."))
    work = os.path.join(root, "build", "bench")
    win_tree = os.environ.get("TN_BUILD_DIR", os.path.join(root, "build", "win32"))
    for _ in range(args.runs):
        for which in args.which:
            profile(args, which, work, win_tree)
    return 0


if __name__ == "__main__":
    sys.exit(main())
