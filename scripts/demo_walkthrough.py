#!/usr/bin/env python3
"""Runs the installer for the demo.

With DISPLAY set, the installer opens on that display in a fresh Wine prefix
(build/demo/prefix) and the script waits until it is closed. Without it, a
private Xvfb display is used and the script walks through the install as a
user would: welcome page, options page, install, finish page, saving a
screenshot of each page, then prints what was installed where."""
import os
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


def report_install(prefix):
    print("demo: installed files")
    found = False
    for base in ("Program Files (x86)", "Program Files"):
        target = prefix.drive_c(base, "ZEVodirodaz")
        if os.path.isdir(target):
            found = True
            for dirpath, _, files in os.walk(target):
                for name in sorted(files):
                    path = os.path.join(dirpath, name)
                    rel = os.path.relpath(path, prefix.drive_c())
                    print("  C:\\%s  (%d bytes)" % (rel.replace("/", "\\"), os.path.getsize(path)))
    if not found:
        print("  (nothing under C:\\Program Files*\\ZEVodirodaz)")
    desktop = prefix.user_dir("Desktop")
    if os.path.isdir(desktop):
        links = [n for n in os.listdir(desktop) if n.lower().endswith(".lnk")]
        print("demo: desktop shortcuts: %s" % (", ".join(links) or "none"))


def walk_through(setup_exe, out_dir, prefix, display):
    auto = WinAuto(prefix, display)
    shots = []

    def shot(name):
        path = display.screenshot(os.path.join(out_dir, name + ".png"))
        shots.append(path)
        print("demo: screenshot %s" % path)

    proc = auto.start(tnharness.wine_path(setup_exe))
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
    time.sleep(0.3)
    shot("03_installing")

    def finish_page_shown():
        probe = display.screenshot(os.path.join(out_dir, ".probe.png"))
        cx, cy = window.client_origin
        r, g, b = display.pixel(probe, cx + FINISH_OPEN[0], cy + FINISH_OPEN[1])
        return b > 180 and r < 120   # the blue start button of the finish page

    deadline = time.monotonic() + 300
    while time.monotonic() < deadline and proc.poll() is None:
        box = auto.find_window(title="Tarnis模拟器 安装", timeout=0.2)
        if box:
            shot("04_message")
            print("demo: the installer says: %s" % auto.message_box("Tarnis模拟器 安装")["text"])
            break
        if finish_page_shown():
            shot("04_finish")
            report_install(prefix)
            auto.click(window, *FINISH_OPEN)
            product = auto.find_window(title="Tarnis模拟器", timeout=30)
            if product:
                time.sleep(1)
                shot("05_product_started")
                print("demo: the installed product is running: %r" % product)
                auto.close(product)
            break
        time.sleep(1)
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
                report_install(prefix)
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
