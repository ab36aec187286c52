"""The real installer at 96, 120, 144 and 192 DPI under Wine (a prefix per
DPI with HKCU\\Control Panel\\Desktop LogPixels set): window size, real
clicks at the scaled places of the controls, pixels of the scaled images,
and a screenshot of every page at every DPI under
<tree>/screenshots/dpi/<dpi>/.

Wine has no monitors of different DPI and never sends WM_DPICHANGED; the
framework's handling of that message is covered by the Windows tests."""
import os
import shutil
import subprocess
import time
import unittest

import tnharness
from install_session import make_slow_product, pack, require_sample_build, scratch_dir
from test_shell_pages import A1, A2
from test_shell_startup import CAPTION, SETUP_WIN

SHOTS = os.path.join(tnharness.BUILD_DIR, "screenshots", "dpi")

# Controls as the skin places them (x, y, w, h at 96 DPI).
INSTALL = (215, 288, 180, 46)
CLOSE = (581, 6, 19, 15)
CHECKBOX = (13, 352, 15, 15)
PROTOCOL = (114, 353, 150, 14)
CUSTOM = (513, 354, 75, 16)
RETURN = (550, 334, 60, 30)
OPTION_SHORTCUT = (20, 285, 15, 15)
PROGRESS = (24, 340, 562, 10)
AGREEMENT = (10, 30, 590, 225)

BLUE = (0x2B, 0x7D, 0xE9)
BLUE_HOT = (0x45, 0x90, 0xF2)
CLOSE_HOT = (0xE5, 0x48, 0x4D)
PROGRESS_BG = (0xE3, 0xE8, 0xEF)
WHITE = (255, 255, 255)


def scale(length, dpi):
    """The framework's rule: length * dpi / 96, halves rounded up."""
    return (length * dpi + 48) // 96


def centre(box, dpi):
    x, y, w, h = box
    return scale(x, dpi) + scale(w, dpi) // 2, scale(y, dpi) + scale(h, dpi) // 2


def point(x, y, dpi):
    return scale(x, dpi), scale(y, dpi)


def region(box, dpi):
    x, y, w, h = box
    return scale(x, dpi), scale(y, dpi), scale(w, dpi), scale(h, dpi)


def close_to(a, b, tolerance=14):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


class DpiScalingTest(tnharness.WineTestCase):
    @classmethod
    def setUpClass(cls):
        require_sample_build()
        cls.scratch = scratch_dir("dpi-")
        # Enough small files that the installing page stays for a while.
        product = make_slow_product(os.path.join(cls.scratch, "product"), files=3200, size=2048)
        cls.setup_exe = pack(os.path.join(cls.scratch, "TarnisSetup.exe"), product=product)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def setUp(self):
        # Room for the 1220 x 780 window at 192 DPI.
        self.display = tnharness.Display("1600x1000x24").__enter__()
        self.addCleanup(self.display.__exit__)
        self.prefix = tnharness.Prefix(self.bits).__enter__()
        self.addCleanup(self.prefix.__exit__)
        self.auto = tnharness.WinAuto(self.prefix, self.display)

    # ---- helpers --------------------------------------------------------

    def set_dpi(self, dpi):
        subprocess.run(["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                        "/t", "REG_DWORD", "/d", str(dpi), "/f"], env=self.prefix.env(self.display),
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.prefix.env(), check=False)

    def shot(self, name):
        """The window's client area as <SHOTS>/<dpi>/<name>.png."""
        full = os.path.join(SHOTS, str(self.dpi), name + ".full.png")
        self.display.screenshot(full)
        cx, cy = self.window.client_origin
        page = os.path.join(SHOTS, str(self.dpi), name + ".png")
        subprocess.run(["convert", full, "-crop", "%dx%d+%d+%d" % (self.width, self.height, cx, cy),
                        "+repage", page], check=True)
        os.unlink(full)
        return page

    def pixel(self, png, x, y):
        out = subprocess.run(["convert", png, "-crop", "1x1+%d+%d" % (x, y), "-depth", "8", "rgb:-"],
                             check=True, capture_output=True).stdout
        return tuple(out[:3])

    def crop(self, png, box):
        x, y, w, h = region(box, self.dpi)
        return subprocess.run(["convert", png, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                               "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout

    def wait_shot(self, name, check, timeout=15.0):
        deadline = time.monotonic() + timeout
        while True:
            png = self.shot(name)
            if check(png) or time.monotonic() > deadline:
                return png
            time.sleep(0.3)

    def expect_page(self, page, proc, timeout=20):
        """Waits for |page| as the accessible tree tells it; the pixels of
        the page are checked on the screenshot that follows."""
        why = self.auto.wait_page(self.window, page, timeout, proc=proc)
        self.assertIsNone(why, "%d DPI: %s" % (self.dpi, why))

    def click(self, box):
        self.auto.click(self.window, *centre(box, self.dpi))

    def expect_box(self, text, buttons):
        box = self.auto.message_box(CAPTION, timeout=20)
        self.assertIsNotNone(box, "no message box at %d DPI" % self.dpi)
        self.assertEqual(box["text"].replace("\r\n", "\n"), text)
        self.assertEqual(len(box["buttons"]), buttons)
        return box

    # ---- the walk through every page ------------------------------------

    def walk(self, dpi):
        self.dpi = dpi
        self.width, self.height = scale(610, dpi), scale(390, dpi)
        self.set_dpi(dpi)
        folder = self.prefix.drive_c("Downloads")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(self.setup_exe, os.path.join(folder, "TarnisSetup.exe"))
        proc = self.auto.start(SETUP_WIN)
        self.window = self.auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=40)
        self.assertIsNotNone(self.window, "the installer window did not open")

        # The whole window is client area, scaled from 610 x 390.
        self.assertEqual((self.window.info["client_w"], self.window.info["client_h"]),
                         (self.width, self.height))
        self.assertEqual((self.window.info["w"], self.window.info["h"]), (self.width, self.height))

        # Welcome page: the install button's pill and the close button's
        # cross at their scaled places.
        install_side = point(INSTALL[0] + 8, INSTALL[1] + 23, dpi)
        self.expect_page("welcome", proc)
        welcome = self.wait_shot("welcome", lambda p: close_to(self.pixel(p, *install_side), BLUE))
        self.assertTrue(close_to(self.pixel(welcome, *install_side), BLUE), "install button")
        self.assertTrue(close_to(self.pixel(welcome, *centre(CLOSE, dpi)), WHITE, 40), "close cross")
        self.assertTrue(close_to(self.pixel(welcome, *point(CHECKBOX[0] + 3, CHECKBOX[1] + 3, dpi)), BLUE),
                        "agreement box selected")

        # Hovering the scaled close button and install button shows their hot slots.
        self.auto.hover(self.window, *centre(CLOSE, dpi))
        close_corner = point(CLOSE[0] + 2, CLOSE[1] + 7, dpi)
        hot = self.wait_shot("welcome_close_hot", lambda p: close_to(self.pixel(p, *close_corner), CLOSE_HOT))
        self.assertTrue(close_to(self.pixel(hot, *close_corner), CLOSE_HOT), "close button hot")
        self.auto.hover(self.window, *centre(INSTALL, dpi))
        hot = self.wait_shot("welcome_install_hot", lambda p: close_to(self.pixel(p, *install_side), BLUE_HOT))
        self.assertTrue(close_to(self.pixel(hot, *install_side), BLUE_HOT), "install button hot")

        # The agreement link shows and hides the agreement.
        self.click(PROTOCOL)
        shown = self.wait_shot("welcome_agreement", lambda p: self.crop(p, AGREEMENT) != self.crop(welcome, AGREEMENT))
        self.assertNotEqual(self.crop(shown, AGREEMENT), self.crop(welcome, AGREEMENT))
        self.click(PROTOCOL)
        hidden = self.wait_shot("welcome_agreement_hidden",
                                lambda p: self.crop(p, AGREEMENT) == self.crop(welcome, AGREEMENT))
        self.assertEqual(self.crop(hidden, AGREEMENT), self.crop(welcome, AGREEMENT))

        # The close button asks; Cancel keeps the installer.
        self.click(CLOSE)
        box = self.expect_box(A2, 2)
        self.display.screenshot(os.path.join(SHOTS, str(dpi), "welcome_close_box.full.png"))
        self.assertTrue(self.auto.press(box["window"], box["buttons"][1]))
        self.assertIsNone(proc.poll())

        # Cleared agreement: the box shows unselected and install is refused.
        box_inside = point(CHECKBOX[0] + 3, CHECKBOX[1] + 3, dpi)
        self.click(CHECKBOX)
        cleared = self.wait_shot("welcome_unchecked", lambda p: close_to(self.pixel(p, *box_inside), WHITE))
        self.assertTrue(close_to(self.pixel(cleared, *box_inside), WHITE), "agreement box cleared")
        self.click(INSTALL)
        box = self.expect_box(A1, 1)
        self.assertTrue(self.auto.press(box["window"], box["buttons"][0]))
        self.click(CHECKBOX)
        self.assertTrue(close_to(self.pixel(self.wait_shot(
            "welcome_checked_again", lambda p: close_to(self.pixel(p, *box_inside), BLUE)), *box_inside), BLUE))

        # Options page and back.
        self.click(CUSTOM)
        self.expect_page("options", proc)
        shortcut = point(OPTION_SHORTCUT[0] + 3, OPTION_SHORTCUT[1] + 3, dpi)
        options = self.wait_shot("options", lambda p: close_to(self.pixel(p, *shortcut), BLUE))
        self.assertTrue(close_to(self.pixel(options, *shortcut), BLUE), "shortcut option selected")
        self.click(OPTION_SHORTCUT)
        cleared = self.wait_shot("options_cleared", lambda p: close_to(self.pixel(p, *shortcut), WHITE))
        self.assertTrue(close_to(self.pixel(cleared, *shortcut), WHITE), "shortcut option cleared")
        self.click(OPTION_SHORTCUT)
        self.click(RETURN)
        self.expect_page("welcome", proc)
        self.shot("welcome_again")

        # Installing page: the progress bar fills from its scaled left end.
        self.click(INSTALL)
        bar_left = point(PROGRESS[0] + 2, PROGRESS[1] + 5, dpi)
        bar_right = point(PROGRESS[0] + PROGRESS[2] - 3, PROGRESS[1] + 5, dpi)

        def filling(png):
            r, g, b = self.pixel(png, *bar_left)
            return b > 200 and r < 130 and close_to(self.pixel(png, *bar_right), PROGRESS_BG)
        self.expect_page("installing", proc, 60)
        installing = self.wait_shot("installing", filling, 60)
        self.assertTrue(filling(installing), "progress bar at %d DPI" % dpi)

        # Finish page, then its close button ends the installer.
        open_button = point(240 + 8, 292 + 23, dpi)
        self.expect_page("finish", proc, 90)
        finish = self.wait_shot("finish", lambda p: close_to(self.pixel(p, *open_button), BLUE))
        self.assertTrue(close_to(self.pixel(finish, *open_button), BLUE), "finish page start button")
        self.click(CLOSE)
        self.assertEqual(proc.wait(30), 0)
        self.assertTrue(os.path.isfile(self.prefix.drive_c("Program Files (x86)", "ZEVodirodaz", "ZEVodirodaz.exe")))

    def test_96_dpi(self):
        self.walk(96)

    def test_120_dpi(self):
        self.walk(120)

    def test_144_dpi(self):
        self.walk(144)

    def test_192_dpi(self):
        self.walk(192)


if __name__ == "__main__":
    unittest.main(verbosity=2)
