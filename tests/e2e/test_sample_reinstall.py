"""Install, uninstall with the product's own uninstaller, install again: the
real installer with the packed sample product, driven by clicks."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import tnharness
from test_shell_pages import WELCOME
from test_shell_startup import SETUP_WIN, SHOTS

TNPACK = os.path.join(tnharness.HOST_BUILD_DIR, "tnpack")
PRODUCT = os.path.join(tnharness.BUILD_DIR, "sample", "product")
INSTALL_DIR = r"C:\Program Files (x86)\ZEVodirodaz"
UNINSTALL_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZEVodirodaz"
FINISH_CLOSE = (590, 13)


class SampleReinstallTest(tnharness.WineTestCase):
    @classmethod
    def setUpClass(cls):
        if not (os.path.exists(TNPACK) and os.path.isfile(os.path.join(PRODUCT, "uninstall.exe"))):
            raise unittest.SkipTest("tnpack or the sample product is not built")
        scratch = os.path.join(tnharness.BUILD_DIR, "scratch")
        os.makedirs(scratch, exist_ok=True)
        cls.scratch = tempfile.mkdtemp(prefix="sample-reinstall-", dir=scratch)
        cls.setup_exe = os.path.join(cls.scratch, "TarnisSetup.exe")
        subprocess.run([TNPACK, "--stub", os.path.join(tnharness.BUILD_DIR, "tnsetup.exe"),
                        "--product", PRODUCT, "--out", cls.setup_exe],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        super().setUp()
        self.install_dir = self.prefix.drive_c("Program Files (x86)", "ZEVodirodaz")
        downloads = self.prefix.drive_c("Downloads")
        os.makedirs(downloads, exist_ok=True)
        shutil.copy(self.setup_exe, os.path.join(downloads, "TarnisSetup.exe"))

    def install(self, shot):
        proc = self.auto.start(SETUP_WIN, extra_env={"TN_VMWARE_SETUP_MS": "200"})
        window = self.auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=40)
        self.assertIsNotNone(window)
        time.sleep(1)
        self.display.screenshot(os.path.join(SHOTS, shot + "_welcome.png"))
        self.auto.click(window, *WELCOME["btn_install"])
        # Off the buttons, so that no hover look counts as a page change.
        self.auto.hover(window, 300, 100)
        expected = sum(len(files) for _, _, files in os.walk(PRODUCT))

        def extracted():
            return sum(len(files) for _, _, files in os.walk(self.install_dir)) >= expected
        self.assertTrue(tnharness.wait_until(extracted, 120, 0.5), "the product was not extracted")

        why = self.auto.wait_page(window, "finish", 60, proc=proc,
                                  screenshot=os.path.join(SHOTS, shot + "_finish.png"))
        self.assertIsNone(why, why)
        time.sleep(0.5)
        self.auto.click(window, *FINISH_CLOSE)
        self.assertEqual(0, proc.wait(30))
        self.assertTrue(os.path.isfile(os.path.join(self.install_dir, "ZEVodirodaz.exe")))
        self.assertTrue(os.path.isfile(os.path.join(self.install_dir, "data", "user guide.txt")))

    def test_install_uninstall_install(self):
        self.install("reinstall_first")
        uninstall = subprocess.run(["wine", INSTALL_DIR + r"\uninstall.exe", "/S"],
                                   env=self.prefix.env(self.display), timeout=120,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(0, uninstall.returncode)
        self.assertTrue(tnharness.wait_until(lambda: not os.path.exists(self.install_dir), 30),
                        "install directory left behind")
        # Whatever the installer registered and linked is gone with it.
        self.assertFalse(self.auto.reg_key_exists("HKLM", UNINSTALL_KEY, view=32))
        self.assertFalse(os.path.exists(self.prefix.user_dir("Desktop", "Tarnis模拟器.lnk")))

        self.install("reinstall_second")


if __name__ == "__main__":
    unittest.main(verbosity=2)
