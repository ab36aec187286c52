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
STATUS_LINE = (24, 318, 150, 20)
PRODUCT_PROGRAM = "ZEVodirodaz.exe"
REPORT_PROGRAM = "ZiduVaziruzOzuded.exe"
# The links an installation with every choice selected makes, by folder.
EXPECTED_LINKS = ("Start menu", "desktop", "Quick Launch", "Startup")


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
    """Prints where the installation put everything; returns what an
    installation with every choice selected should have left and did not."""
    missing = []
    install_dir = next((d for d in INSTALL_DIRS if os.path.isdir(host_path(prefix, d))), None)
    print("demo: installed files")
    if install_dir and not os.path.isfile(os.path.join(host_path(prefix, install_dir), PRODUCT_PROGRAM)):
        missing.append("the product's main program %s\\%s" % (install_dir, PRODUCT_PROGRAM))
    if install_dir:
        root = host_path(prefix, install_dir)
        for dirpath, _, files in sorted(os.walk(root)):
            for name in sorted(files):
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root).replace("/", "\\")
                print("  %s\\%s  (%d bytes)" % (install_dir, rel, os.path.getsize(path)))
    else:
        print("  (nothing under C:\\Program Files*\\ZEVodirodaz)")
        missing.append("the installed files")

    print("demo: uninstall entry HKLM\\%s (32-bit view)" % UNINSTALL_KEY)
    values = auto.reg_values("HKLM", UNINSTALL_KEY, view=32)
    kinds = {1: "REG_SZ", 4: "REG_DWORD"}
    for name, (kind, data) in sorted((values or {}).items()):
        print("  %-16s %-9s %s" % (name, kinds.get(kind, kind), data))
    if not values:
        print("  (none)")
        missing.append("the uninstall entry")

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
            if label in EXPECTED_LINKS:
                missing.append("the %s link" % label)

    print("demo: report hand-off")
    report = host_path(prefix, (app_data or "C:\\") + r"\ZEVodirodaz\submitconfig.ini")
    if os.path.exists(report):
        with open(report, "rb") as f:
            for line in f.read().decode("gbk", "replace").splitlines():
                print("  submitconfig.ini: %s" % line)
    else:
        print("  (no %s)" % report)
        missing.append("the report file submitconfig.ini")
    if not print_starts(prefix, REPORT_PROGRAM):
        missing.append("the start of the reporting program %s" % REPORT_PROGRAM)
    return missing


def print_starts(prefix, program):
    """Prints how |program| was started; False when it was not."""
    starts = [r for r in read_record(prefix)
              if r.get("event") == "start" and r.get("program", "").lower() == program.lower()]
    for record in starts:
        print("  started %s: command line %s, directory %s, show %s" % (
            record.get("program"), record.get("command_line"), record.get("directory"),
            record.get("show")))
    if not starts:
        print("  (%s was not started)" % program)
    return bool(starts)


def walk_through(setup_exe, out_dir, prefix, display):
    """Clicks through the installation; returns the installer's process and
    the list of what did not happen (empty when everything did)."""
    auto = WinAuto(prefix, display)
    missing = []

    def shot(name):
        path = display.screenshot(os.path.join(out_dir, name + ".png"))
        print("demo: screenshot %s" % path)
        return path

    def expect(page, timeout, name):
        why = auto.wait_page(window, page, timeout, proc=proc,
                             screenshot=os.path.join(out_dir, name + ".png"))
        if why:
            print("demo: %s" % why)
            missing.append("the %s page" % page)
            return False
        print("demo: screenshot %s" % os.path.join(out_dir, name + ".png"))
        return True

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
        return proc, ["the installer's window"]
    time.sleep(1.5)
    if window.cls == "#32770":
        shot("01_message")
        print("demo: the installer shows a message box: %r" % auto.message_box("TNInstall"))
        return proc, ["the installer's window"]
    if not expect("welcome", 30, "01_welcome"):
        return proc, missing

    auto.click(window, *CUSTOM_INSTALL_LINK)
    if not expect("options", 30, "02_options"):
        return proc, missing

    auto.click(window, *OPTIONS_INSTALL)
    auto.hover(window, 300, 100)
    if not expect("installing", 60, "03_installing"):
        return proc, missing

    # While the page waits for the finish: the hypervisor's setup runs from
    # its batch file, and the status line animates.
    batch = None
    hypervisor_shots = 0
    deadline = time.monotonic() + 300
    while hypervisor_shots < 2 and time.monotonic() < deadline and proc.poll() is None:
        view = auto.page(window)
        if view.page != "installing" or auto.dialogs(window.pid):
            break
        install_dir = next((d for d in INSTALL_DIRS if os.path.isdir(host_path(prefix, d))), None)
        bat = install_dir and os.path.join(host_path(prefix, install_dir), "Vmware.bat")
        if bat and os.path.exists(bat):
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
        time.sleep(0.5)
    if batch is None:
        missing.append("the hypervisor setup's batch file Vmware.bat")

    if not expect("finish", max(30, deadline - time.monotonic()), "06_finish"):
        box = auto.message_box("Tarnis模拟器 安装", timeout=1)
        if box:
            print("demo: the installer says: %s" % box["text"])
        return proc, missing
    missing += report_install(prefix, auto)
    auto.click(window, *FINISH_OPEN)
    product = auto.find_window(title="Tarnis模拟器", timeout=30)
    if product:
        time.sleep(1)
        shot("07_product_started")
        print("demo: the installed product is running: %r" % product)
        auto.close(product)
    else:
        missing.append("the product's window after the finish page's button")
    if not print_starts(prefix, PRODUCT_PROGRAM):
        missing.append("the start of the product %s" % PRODUCT_PROGRAM)
    return proc, missing


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
                missing = report_install(prefix, WinAuto(prefix, ExternalDisplay(external)))
            else:
                with Display() as display:
                    proc, missing = walk_through(setup_exe, out_dir, prefix, display)
                    prefix.kill()
                    proc.wait(30)
        finally:
            prefix.kill()
            shutil.move(prefix.path, prefix_dir)
            prefix.path = None
    print("demo: Wine prefix with the installation: %s" % prefix_dir)
    print("demo: screenshots: %s" % out_dir)
    if missing:
        print("demo: FAILED, the installation is not complete; missing:")
        for item in missing:
            print("  - %s" % item)
        return 1
    print("demo: the installation is complete: files, uninstall entry, links, report hand-off "
          "and the product's start are all there")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
