"""The sample product's uninstaller driven like a user would: the question,
the answer, the closing message, and what is left on the machine."""
import os
import shutil
import subprocess
import unittest

import tnharness

PRODUCT = os.path.join(tnharness.BUILD_DIR, "sample", "product")
INSTALL_DIR = r"C:\Program Files (x86)\ZEVodirodaz"
UNINSTALL_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZEVodirodaz"
CAPTION = "Tarnis模拟器 卸载"


class SampleUninstallTest(tnharness.WineTestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(os.path.join(PRODUCT, "uninstall.exe")):
            raise unittest.SkipTest("the sample product is not built")

    def setUp(self):
        super().setUp()
        # An installation as the installer leaves it: files and the uninstall
        # key in the 32-bit view.
        self.install_dir = self.prefix.drive_c("Program Files (x86)", "ZEVodirodaz")
        shutil.copytree(PRODUCT, self.install_dir)
        for name, data in (("DisplayIcon", INSTALL_DIR + r"\ZEVodirodaz.exe"),
                           ("UninstallString", INSTALL_DIR + r"\uninstall.exe")):
            subprocess.run(["wine", "reg", "add", "HKLM\\" + UNINSTALL_KEY, "/v", name,
                            "/t", "REG_SZ", "/d", data, "/f", "/reg:32"],
                           env=self.prefix.env(self.display), check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertTrue(self.auto.reg_key_exists("HKLM", UNINSTALL_KEY, view=32))

    def answer(self, prefix):
        box = self.auto.message_box(CAPTION, timeout=60)
        self.assertIsNotNone(box, "no message box; windows: %r" % self.auto.windows())
        button = next((b for b in box["buttons"] if b.startswith(prefix)), None)
        self.assertIsNotNone(button, box["buttons"])
        self.assertTrue(self.auto.press(box["window"], button))
        return box

    def start_uninstaller(self):
        return self.auto.start(INSTALL_DIR + r"\uninstall.exe")

    def test_confirmed_uninstall_removes_everything(self):
        proc = self.start_uninstaller()
        question = self.answer("是")
        self.assertIn("确定要完全移除Tarnis模拟器", question["text"])
        done = self.answer("确定")
        self.assertIn("已从您的电脑中移除", done["text"])
        self.assertEqual(0, proc.wait(60))
        self.assertTrue(tnharness.wait_until(lambda: not os.path.exists(self.install_dir), 30),
                        os.listdir(self.install_dir) if os.path.exists(self.install_dir) else "")
        self.assertFalse(self.auto.reg_key_exists("HKLM", UNINSTALL_KEY, view=32))

    def test_declined_uninstall_changes_nothing(self):
        proc = self.start_uninstaller()
        self.answer("否")
        self.assertEqual(1, proc.wait(60))
        self.assertTrue(os.path.isfile(os.path.join(self.install_dir, "ZEVodirodaz.exe")))
        self.assertTrue(self.auto.reg_key_exists("HKLM", UNINSTALL_KEY, view=32))


if __name__ == "__main__":
    unittest.main()
