"""The work directory of the real installer under Wine: what it writes there
while the window is open, and that closing the window removes it."""
import os
import shutil
import unittest

import tnharness

CAPTION = "Tarnis模拟器 安装"
CLOSE_QUESTION = "模拟器正在安装，\n确定要关闭模拟器吗?"
BTN_CLOSE = (590, 13)  # client coordinates of the welcome page's close button
SETUP_WIN = r"C:\Downloads\TarnisSetup.exe"


def read(path):
    with open(path, "rb") as f:
        return f.read()


class ConfigWorkDirTest(tnharness.WineTestCase):
    def setUp(self):
        super().setUp()
        downloads = self.prefix.drive_c("Downloads")
        os.makedirs(downloads, exist_ok=True)
        shutil.copy(os.path.join(tnharness.BUILD_DIR, "tnsetup.exe"),
                    os.path.join(downloads, "TarnisSetup.exe"))

    def test_stale_work_directory_is_rewritten_and_removed(self):
        work = self.prefix.drive_c("tnextract")
        # What an earlier, interrupted run (or another user) left behind.
        os.makedirs(os.path.join(work, "left over"))
        with open(os.path.join(work, "info.ini"), "wb") as f:
            f.write(b"[TARNIS_INFO]\r\nRegeditKeyName=Planted\r\n")
        with open(os.path.join(work, "7zTmp.dll"), "wb") as f:
            f.write(b"MZ not a library")
        with open(os.path.join(work, "left over", "note.txt"), "wb") as f:
            f.write(b"x")

        proc = self.auto.start(SETUP_WIN)
        self.addCleanup(self.prefix.kill)
        window = self.auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=40)
        self.assertIsNotNone(window, "the installer window did not open")

        build = tnharness.BUILD_DIR
        self.assertEqual(read(os.path.join(work, "info.ini")),
                         read(os.path.join(build, "config", "info.ini")))
        self.assertEqual(read(os.path.join(work, "7zTmp.dll")),
                         read(os.path.join(build, "7zTmp.dll")))

        self.auto.click(window, *BTN_CLOSE)
        box = self.auto.message_box(CAPTION, timeout=20)
        self.assertIsNotNone(box, "no close question")
        self.assertEqual(box["text"], CLOSE_QUESTION)
        self.assertTrue(self.auto.press(box["window"], box["buttons"][0]))
        self.assertEqual(proc.wait(30), 0)
        self.assertFalse(os.path.exists(work), os.listdir(work) if os.path.exists(work) else "")


if __name__ == "__main__":
    unittest.main()
