#!/usr/bin/env python3
"""Runs the installer for the demo.

With DISPLAY set, the installer opens on that display in a fresh Wine prefix
(build/demo/prefix) and the script waits until it is closed. Without it, a
private Xvfb display is used and the script walks through the install as a
user would: welcome page, options page, install, the hypervisor setup's
animated status line, finish page, saving a screenshot of each, then prints
where everything went: the installed tree, the uninstall entry, the links,
the report hand-off and how the installer started the product's programs."""
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "harness"))
import tnharness  # noqa: E402
from tnharness import Display, Prefix, WinAuto  # noqa: E402

# Client coordinates of the controls the walk-through clicks.
CUSTOM_INSTALL_LINK = (550, 362)
OPTIONS_INSTALL = (305, 337)
FINISH_CLOSE = (590, 13)
FINISH_OPEN = (305, 315)


class ExternalDisplay:
    def __init__(self, name):
        self.name = name

    def screenshot(self, path):
        return Display.screenshot(self, path)

    def xdotool(self, *args):
        return Display.xdotool(self, *args)


INSTALL_DIRS = (r"C:\Program Files (x86)\ZEVodirodaz", r"C:\Program Files\ZEVodirodaz")
UNINSTALL_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZEVodirodaz"
RECORD = r"C:\tn_demo_record.log"
QUICK_LAUNCH = r"\Microsoft\Internet Explorer\Quick Launch"
# Special folders (CSIDL): desktop, Start menu, Startup, application data.
DESKTOP, START_MENU, STARTUP, APP_DATA = 0x10, 0x0B, 0x07, 0x1A
# The finish page's check mark: a point of its white circle, two of the mark.
FINISH_MARK = ((283, 76), (298, 107), (313, 96))
STATUS_LINE = (24, 318, 150, 20)


def host_path(prefix, windows_path):
    return prefix.drive_c(*[p for p in windows_path[3:].split("\\") if p])


def read_record(prefix):
    path = host_path(prefix, RECORD)
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        lines = f.read().decode("gbk", "replace").split("\r\n")
    records = []
    for line in filter(None, lines):
        fields = {}
        for part in line.split("\t"):
            name, _, value = part.partition("=")
            fields[name] = re.sub(r"%([0-9A-F]{2})", lambda m: chr(int(m.group(1), 16)), value)
        records.append(fields)
    return records


def report_install(prefix, auto):
    """Prints where the installation put everything."""
    install_dir = next((d for d in INSTALL_DIRS if os.path.isdir(host_path(prefix, d))), None)
    print("demo: installed files")
    if install_dir:
        root = host_path(prefix, install_dir)
        for dirpath, _, files in sorted(os.walk(root)):
            for name in sorted(files):
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root).replace("/", "\\")
                print("  %s\\%s  (%d bytes)" % (install_dir, rel, os.path.getsize(path)))
    else:
        print("  (nothing under C:\\Program Files*\\ZEVodirodaz)")

    print("demo: uninstall entry HKLM\\%s (32-bit view)" % UNINSTALL_KEY)
    values = auto.reg_values("HKLM", UNINSTALL_KEY, view=32)
    kinds = {1: "REG_SZ", 4: "REG_DWORD"}
    for name, (kind, data) in sorted((values or {}).items()):
        print("  %-16s %-9s %s" % (name, kinds.get(kind, kind), data))
    if not values:
        print("  (none)")

    print("demo: links")
    app_data = auto.special_folder(APP_DATA)
    folders = [("Start menu", (auto.special_folder(START_MENU) or "") + r"\Programs\ZEVodirodaz"),
               ("desktop", auto.special_folder(DESKTOP)),
               ("Quick Launch", (app_data or "") + QUICK_LAUNCH),
               ("Startup", auto.special_folder(STARTUP))]
    for label, folder in folders:
        host = host_path(prefix, folder) if folder and folder[1:3] == ":\\" else None
        links = sorted(n for n in os.listdir(host) if n.lower().endswith(".lnk")) \
            if host and os.path.isdir(host) else []
        for name in links:
            link = auto.resolve_lnk(folder + "\\" + name) or {}
            print("  %-12s %s -> %s" % (label, folder + "\\" + name, link.get("target", "?")))
        if not links:
            print("  %-12s (no link in %s)" % (label, folder))

    print("demo: report hand-off")
    report = host_path(prefix, (app_data or "C:\\") + r"\ZEVodirodaz\submitconfig.ini")
    if os.path.exists(report):
        with open(report, "rb") as f:
            for line in f.read().decode("gbk", "replace").splitlines():
                print("  submitconfig.ini: %s" % line)
    for record in read_record(prefix):
        if record.get("event") == "start":
            print("  started %s: command line %s, directory %s, show %s" % (
                record.get("program"), record.get("command_line"), record.get("directory"),
                record.get("show")))


def pixels(display, png, window, points):
    cx, cy = window.client_origin
    return [display.pixel(png, cx + x, cy + y) for x, y in points]


def walk_through(setup_exe, out_dir, prefix, display):
    auto = WinAuto(prefix, display)
    shots = []

    def shot(name):
        path = display.screenshot(os.path.join(out_dir, name + ".png"))
        shots.append(path)
        print("demo: screenshot %s" % path)
        return path

    # Every Windows 7 profile has a Quick Launch folder; a Wine prefix has
    # none, and the installer puts its pinned link there.
    app_data = auto.special_folder(APP_DATA)
    if app_data:
        os.makedirs(host_path(prefix, app_data + QUICK_LAUNCH), exist_ok=True)
    # The sample programs record how they were started; the stand-in for the
    # hypervisor's setup takes a few seconds, like a real setup.
    proc = auto.start(tnharness.wine_path(setup_exe),
                      extra_env={"TN_SAMPLE_RECORD": RECORD, "TN_VMWARE_SETUP_MS": "6000"})
    window = auto.find_window(title="TNInstall", timeout=60)
    if not window:
        time.sleep(2)
        shot("01_start")
        print("demo: the installer showed no main window (see the screenshot)")
        return proc
    time.sleep(1.5)
    if window.cls == "#32770":
        shot("01_message")
        print("demo: the installer shows a message box: %r" % auto.message_box("TNInstall"))
        return proc
    shot("01_welcome")

    auto.click(window, *CUSTOM_INSTALL_LINK)
    time.sleep(1.5)
    shot("02_options")

    auto.click(window, *OPTIONS_INSTALL)
    auto.hover(window, 300, 100)
    time.sleep(1.5)
    shot("03_installing")

    def finish_page_shown():
        probe = display.screenshot(os.path.join(out_dir, ".probe.png"))
        white, green1, green2 = pixels(display, probe, window, FINISH_MARK)
        return min(white) > 240 and all(g[1] > 150 and g[0] < 80 for g in (green1, green2))

    batch = None
    hypervisor_shots = 0
    deadline = time.monotonic() + 300
    while time.monotonic() < deadline and proc.poll() is None:
        box = auto.find_window(title="Tarnis模拟器 安装", timeout=0.2)
        if box:
            shot("05_message")
            print("demo: the installer says: %s" % auto.message_box("Tarnis模拟器 安装")["text"])
            break
        install_dir = next((d for d in INSTALL_DIRS if os.path.isdir(host_path(prefix, d))), None)
        bat = install_dir and os.path.join(host_path(prefix, install_dir), "Vmware.bat")
        if bat and os.path.exists(bat) and hypervisor_shots < 2:
            # The hypervisor's setup runs: the status line animates.
            if batch is None:
                with open(bat, "rb") as f:
                    batch = f.read().decode("gbk", "replace")
                print("demo: the hypervisor setup runs from Vmware.bat:")
                for line in batch.splitlines():
                    print("  " + line)
            time.sleep(0.7)
            path = shot("04_hypervisor_%d" % (hypervisor_shots + 1))
            cx, cy = window.client_origin
            x, y, w, h = STATUS_LINE
            subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w + 60, h, cx + x, cy + y),
                            "+repage", "-scale", "300%",
                            os.path.join(out_dir, "04_hypervisor_status_%d.png" % (hypervisor_shots + 1))],
                           check=False)
            hypervisor_shots += 1
            continue
        if finish_page_shown():
            shot("06_finish")
            report_install(prefix, auto)
            auto.click(window, *FINISH_OPEN)
            product = auto.find_window(title="Tarnis模拟器", timeout=30)
            if product:
                time.sleep(1)
                shot("07_product_started")
                print("demo: the installed product is running: %r" % product)
                auto.close(product)
            break
        time.sleep(0.5)
    if os.path.exists(os.path.join(out_dir, ".probe.png")):
        os.remove(os.path.join(out_dir, ".probe.png"))
    if proc.poll() is None:
        auto.click(window, *FINISH_CLOSE)
        time.sleep(1)
    return proc


def main(setup_exe, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    tnharness.prepare_templates()
    external = os.environ.get("DISPLAY")
    os.environ["TN_KEEP_PREFIX"] = "1"
    prefix_dir = os.path.join(out_dir, "prefix")
    shutil.rmtree(prefix_dir, ignore_errors=True)
    with Prefix(64) as prefix:
        try:
            if external:
                print("demo: opening the installer on %s (close it to end the demo)" % external)
                env = prefix.env(ExternalDisplay(external))
                subprocess.run(["wine", tnharness.wine_path(setup_exe)], env=env)
                report_install(prefix, WinAuto(prefix, ExternalDisplay(external)))
            else:
                with Display() as display:
                    proc = walk_through(setup_exe, out_dir, prefix, display)
                    prefix.kill()
                    proc.wait(30)
        finally:
            prefix.kill()
            shutil.move(prefix.path, prefix_dir)
            prefix.path = None
    print("demo: Wine prefix with the installation: %s" % prefix_dir)
    print("demo: screenshots: %s" % out_dir)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
