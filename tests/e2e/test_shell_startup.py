"""Start-up of the real installer under Wine: the refusals and their boxes."""
import os
import shutil
import subprocess
import time
import unittest

import tnharness

CAPTION = "Tarnis模拟器 安装"
M3 = "检测到Tarnis模拟器正在运行,请退出后再进行安装!"
M4 = "Tarnis模拟器安装程序已经运行!"
PERSISTED = (r"Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags"
             r"\Compatibility Assistant\Persisted")
SETUP_WIN = r"C:\Downloads\TarnisSetup.exe"
SHOTS = tnharness.screenshot_dir("shell")


def install_copy(prefix, name="tnsetup.exe"):
    """Copies an installer of the build into C:\\Downloads of the prefix."""
    folder = prefix.drive_c("Downloads")
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, "TarnisSetup.exe")
    shutil.copy(os.path.join(tnharness.BUILD_DIR, name), target)
    return target


def start_idle_as(auto, prefix, exe_name):
    folder = prefix.drive_c("idle")
    os.makedirs(folder, exist_ok=True)
    shutil.copy(os.path.join(tnharness.BUILD_DIR, "tn_idle.exe"), os.path.join(folder, exe_name))
    proc = auto.start("C:\\idle\\" + exe_name)
    ok = tnharness.wait_until(
        lambda: exe_name.lower() in [p.lower() for p in auto.processes()], 20, 0.5)
    assert ok, exe_name + " did not start"
    return proc


class ShellStartupTest(tnharness.WineTestCase):
    def setUp(self):
        super().setUp()
        install_copy(self.prefix)

    def reg(self, *args):
        # With the display: the first Wine program of a prefix decides whether
        # its desktop gets a graphics driver.
        subprocess.run(["wine", "reg"] + list(args), env=self.prefix.env(self.display), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def expect_box(self, text, shot):
        box = self.auto.message_box(CAPTION, timeout=30)
        self.assertIsNotNone(box, "no message box")
        self.assertEqual(box["text"], text)
        self.assertEqual(len(box["buttons"]), 1)
        self.display.screenshot(os.path.join(SHOTS, shot))
        self.assertTrue(self.auto.press(box["window"], box["buttons"][0]))

    def test_product_running_and_second_instance(self):
        self.reg("add", "HKCU\\" + PERSISTED, "/f")
        idle = start_idle_as(self.auto, self.prefix, "zevodirodaz.EXE")
        setup = self.auto.start(SETUP_WIN)
        self.expect_box(M3, "startup_product_running.png")
        self.assertEqual(setup.wait(30), 0)
        # The compatibility value was written before the refusal.
        self.assertEqual(self.auto.reg_read("HKCU", PERSISTED, SETUP_WIN), 1)
        self.assertIsNone(self.auto.find_window(title="TNInstall", timeout=0.5))
        idle.kill()
        self.prefix.kill()

        # A longer name that merely contains the product's is not the product.
        start_idle_as(self.auto, self.prefix, "xZEVodirodaz.exe")
        first = self.auto.start(SETUP_WIN)
        window = self.auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=30)
        self.assertIsNotNone(window, "the installer window did not open")
        self.assertEqual((window.info["w"], window.info["h"]), (610, 390))

        second = self.auto.start(SETUP_WIN)
        self.expect_box(M4, "startup_second_instance.png")
        self.assertEqual(second.wait(30), 0)
        self.assertIsNone(first.poll(), "the first installer must not be disturbed")
        for name in ("7zTmp.dll", "info.ini"):
            self.assertTrue(os.path.isfile(self.prefix.drive_c("tnextract", name)), name)
        self.assertIsNotNone(self.auto.find_window(title="TNInstall", timeout=2))

        # Alt+F4 (the system close command) ends the installer without a
        # question; the process ends with 0.
        self.auto.click(window, 300, 150)
        self.auto.key("alt+F4")
        self.assertEqual(first.wait(30), 0)
        self.assertFalse(os.path.exists(self.prefix.drive_c("tnextract")))

    def test_damaged_skin_stops_after_its_message(self):
        for exe in ("tnsetup_skin_not_zip.exe", "tnsetup_skin_no_layout.exe"):
            with self.subTest(exe=exe):
                install_copy(self.prefix, exe)
                setup = self.auto.start(SETUP_WIN)
                box = self.auto.message_box("错误", timeout=30)
                self.assertIsNotNone(box, "no message box")
                self.assertEqual(box["text"], "加载资源失败!")
                self.assertEqual(len(box["buttons"]), 1)
                self.display.screenshot(os.path.join(SHOTS, "startup_" + exe.replace(".exe", ".png")))
                self.assertTrue(self.auto.press(box["window"], box["buttons"][0]))
                self.assertEqual(setup.wait(30), 0)
                self.assertIsNone(self.auto.find_window(title="TNInstall", timeout=0.5))
                self.assertIsNone(self.auto.find_window(title=CAPTION, timeout=0.5))
                self.assertFalse(os.path.exists(self.prefix.drive_c("tnextract")))

    def test_local_redirection_folder_ends_silently(self):
        os.makedirs(self.prefix.drive_c("Downloads", "TarnisSetup.exe.local"))
        setup = self.auto.start(SETUP_WIN)
        self.assertEqual(setup.wait(60), 0)
        self.assertIsNone(self.auto.find_window(title="TNInstall", timeout=0.5))
        self.assertIsNone(self.auto.find_window(title=CAPTION, timeout=0.5))
        self.assertFalse(os.path.exists(self.prefix.drive_c("tnextract")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
