"""The installer stub starts under Wine on a virtual display and shows
itself: its main window or one of its message boxes."""
import os
import unittest

import tnharness
from tnharness import Display, Prefix, WinAuto

STUB = os.path.join(tnharness.BUILD_DIR, "tnsetup.exe")
TITLES = ("TNInstall", "Tarnis模拟器 安装", "错误")


class StubStartsTest(unittest.TestCase):
    def run_stub(self, bits):
        with Display() as display, Prefix(bits) as prefix:
            auto = WinAuto(prefix, display)
            proc = auto.start(STUB)

            def shown():
                return [w for w in auto.windows() if w.title in TITLES]

            windows = tnharness.wait_until(shown, timeout=40, interval=0.5)
            self.assertTrue(windows, "no installer window appeared; visible: %r" % auto.windows())
            shot = display.screenshot(os.path.join(tnharness.screenshot_dir("stub"),
                                                   "first_window_%d.png" % bits))
            self.assertTrue(os.path.getsize(shot) > 0)
            self.assertIsNone(proc.poll(), "the installer ended while showing a window")
            prefix.kill()
            proc.wait(30)

    def test_64_bit_prefix(self):
        self.run_stub(64)

    def test_32_bit_prefix(self):
        self.run_stub(32)


if __name__ == "__main__":
    unittest.main(verbosity=2)
