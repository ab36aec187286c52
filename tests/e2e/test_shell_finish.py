"""A whole installation with a packed sample product: the finish page's
buttons, and a close while the extraction runs."""
import os
import random
import shutil
import subprocess
import tempfile
import time
import unittest

import tnharness
from test_shell_pages import OPTIONS, WELCOME, pick_folder_by_keyboard
from test_shell_startup import SETUP_WIN, SHOTS

TNPACK = os.path.join(tnharness.HOST_BUILD_DIR, "tnpack")
PRODUCT = os.path.join(tnharness.BUILD_DIR, "sample", "product")
INSTALL_DIR = r"C:\Program Files (x86)\ZEVodirodaz"
FINISH_OPEN = (305, 315)
FINISH_CLOSE = (590, 13)
RECORD = r"C:\shell_record.log"


def pack(product, out):
    subprocess.run([TNPACK, "--stub", os.path.join(tnharness.BUILD_DIR, "tnsetup.exe"),
                    "--product", product, "--out", out],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class ShellFinishTest(tnharness.WineTestCase):
    @classmethod
    def setUpClass(cls):
        if not (os.path.exists(TNPACK) and os.path.isfile(os.path.join(PRODUCT, "ZEVodirodaz.exe"))):
            raise unittest.SkipTest("tnpack or the sample product is not built")
        cls.scratch = tempfile.mkdtemp(prefix="shell-finish-",
                                       dir=os.path.join(tnharness.BUILD_DIR, "scratch"))
        cls.setup_exe = os.path.join(cls.scratch, "TarnisSetup.exe")
        pack(PRODUCT, cls.setup_exe)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def start(self, setup_exe):
        folder = self.prefix.drive_c("Downloads")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(setup_exe, os.path.join(folder, "TarnisSetup.exe"))
        self.proc = self.auto.start(SETUP_WIN, extra_env={"TN_SAMPLE_RECORD": RECORD})
        self.window = self.auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=40)
        self.assertIsNotNone(self.window)
        time.sleep(1)

    def install_to_finish(self, shot):
        self.auto.click(self.window, *WELCOME["btn_install"])
        installed = self.prefix.drive_c("Program Files (x86)", "ZEVodirodaz", "ZEVodirodaz.exe")
        self.assertTrue(tnharness.wait_until(lambda: os.path.exists(installed), 60, 0.5),
                        "the product was not extracted")
        self.wait_finish(shot)

    def wait_finish(self, shot):
        why = self.auto.wait_page(self.window, "finish", 60, proc=self.proc,
                                  screenshot=os.path.join(SHOTS, shot))
        self.assertIsNone(why, why)

    def record(self):
        path = self.prefix.drive_c("shell_record.log")
        if not os.path.exists(path):
            return ""
        with open(path, "rb") as f:
            return f.read().decode("gbk", "replace")

    def test_open_starts_the_product_and_closes(self):
        self.start(self.setup_exe)
        self.display.screenshot(os.path.join(SHOTS, "finish_before.png"))
        self.install_to_finish("finish.png")
        self.auto.click(self.window, *FINISH_OPEN)
        self.assertEqual(self.proc.wait(30), 0)
        self.assertTrue(tnharness.wait_until(lambda: "program=ZEVodirodaz.exe" in self.record(), 20, 0.5),
                        "the main program was not started: %r" % self.record())
        line = [l for l in self.record().splitlines() if "program=ZEVodirodaz.exe" in l][0]
        self.assertIn(INSTALL_DIR + "\\ZEVodirodaz.exe", line)
        self.assertIn("show=1", line)
        self.assertFalse(os.path.exists(self.prefix.drive_c("tnextract")))

    def test_close_does_not_start_the_product(self):
        self.start(self.setup_exe)
        self.display.screenshot(os.path.join(SHOTS, "finish_before_close.png"))
        self.install_to_finish("finish_close.png")
        self.auto.click(self.window, *FINISH_CLOSE)
        self.assertEqual(self.proc.wait(30), 0)
        time.sleep(2)
        self.assertNotIn("program=ZEVodirodaz.exe", self.record())
        self.assertFalse(os.path.exists(self.prefix.drive_c("tnextract")))

    def test_chosen_folder_is_where_the_product_starts_from(self):
        os.makedirs(self.prefix.drive_c("Games"))
        self.start(self.setup_exe)
        self.display.screenshot(os.path.join(SHOTS, "finish_before_chosen.png"))
        self.auto.click(self.window, *WELCOME["btn_custom_install"])
        self.auto.click(self.window, *OPTIONS["btn_browser"])
        # Keyboard through the folder tree to "Games".
        pick_folder_by_keyboard(self, self.auto, "g", before_ok=lambda: self.display.screenshot(
            os.path.join(SHOTS, "options_browse_games.png")))
        self.display.screenshot(os.path.join(SHOTS, "options_chosen_folder.png"))
        self.auto.click(self.window, *OPTIONS["btn_install"])
        installed = self.prefix.drive_c("Games", "ZEVodirodaz", "ZEVodirodaz.exe")
        self.assertTrue(tnharness.wait_until(lambda: os.path.exists(installed), 60, 0.5),
                        "the product was not extracted into the chosen folder")
        self.wait_finish("finish_chosen.png")
        self.auto.click(self.window, *FINISH_OPEN)
        self.assertEqual(self.proc.wait(30), 0)
        self.assertTrue(tnharness.wait_until(lambda: "program=ZEVodirodaz.exe" in self.record(), 20, 0.5))
        self.assertIn(r"C:\Games\ZEVodirodaz\ZEVodirodaz.exe", self.record())
        self.assertFalse(os.path.exists(self.prefix.drive_c("Program Files (x86)", "ZEVodirodaz")))

    def test_escape_during_extraction_stops_it_cleanly(self):
        # Thousands of small files keep the worker busy for a while.
        product = os.path.join(self.scratch, "many_files")
        rng = random.Random(7)
        for folder in range(100):
            path = os.path.join(product, "data%02d" % folder)
            os.makedirs(path, exist_ok=True)
            for index in range(100):
                with open(os.path.join(path, "f%03d.bin" % index), "wb") as f:
                    f.write(rng.randbytes(1024))
        # The programs the configuration names, without which tnpack refuses a product.
        for program in ("ZEVodirodaz.exe", "uninstall.exe", "TNZiduvaZevi.exe", "ZiduVaziruzOzuded.exe"):
            shutil.copy(os.path.join(PRODUCT, program), product)
        setup = os.path.join(self.scratch, "ManyFilesSetup.exe")
        pack(product, setup)
        self.start(setup)
        self.auto.click(self.window, *WELCOME["btn_install"])
        target = self.prefix.drive_c("Program Files (x86)", "ZEVodirodaz")
        self.assertTrue(tnharness.wait_until(
            lambda: os.path.isdir(target) and len(os.listdir(target)) > 2, 60, 0.2))
        self.display.screenshot(os.path.join(SHOTS, "installing.png"))
        self.auto.key("Escape")
        self.assertEqual(self.proc.wait(30), 0)
        self.assertFalse(os.path.exists(self.prefix.drive_c("tnextract")),
                         "the work directory outlived the installer")
        # A cancelled first installation leaves none of its files behind.
        self.assertFalse(os.path.exists(target), "the stopped extraction's files stayed")


if __name__ == "__main__":
    unittest.main(verbosity=2)
