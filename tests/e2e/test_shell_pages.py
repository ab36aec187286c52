"""The welcome and options pages of the real installer under Wine, driven by
real clicks; what the user sees is judged from screenshots."""
import os
import subprocess
import time
import unittest

import tnharness
from test_shell_startup import CAPTION, SETUP_WIN, SHOTS, install_copy

A1 = "请选择同意《Tarnis服务协议》！"
A2 = "模拟器正在安装，\n确定要关闭模拟器吗?"
BROWSE_TITLE = "请选择Tarnis模拟器的安装文件夹:"
SPACE_TEXT = "安装路径所在磁盘空间不足,最低需999999GB空间!"

# Client coordinates of the controls' middles (layouts of the skin).
WELCOME = {
    "btn_install": (305, 311), "btn_close": (590, 13), "btn_protocol_text": (160, 360),
    "btn_custom_install": (550, 362), "btn_checkbox": (20, 359),
}
OPTIONS = {
    "btn_install": (305, 337), "btn_return": (580, 349), "btn_browser": (564, 261),
    "btn_cb_shortcut": (27, 292), "btn_cb_Launchbar": (211, 292), "btn_cb_autorun": (389, 292),
}
# Regions (x, y, w, h) in client coordinates.
AGREEMENT = (10, 30, 590, 225)
CHECKBOX = (13, 352, 15, 15)
INFO_LABEL = (140, 218, 400, 20)
OPTION_BOXES = (20, 285, 380, 15)


def crop(png, window, region):
    """The pixels of a client region of |window| in a screenshot, as bytes."""
    x, y, w, h = region
    cx, cy = window.client_origin
    return subprocess.run(
        ["convert", png, "-crop", "%dx%d+%d+%d" % (w, h, cx + x, cy + y), "+repage",
         "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout


def red_pixels(data):
    """Pixels of the information label's red text (anti-aliased included)."""
    return sum(1 for i in range(0, len(data), 3)
               if data[i] > 150 and data[i + 1] < 100 and data[i + 2] < 100)


def find_browse_dialog(auto):
    """The folder dialog: a dialog window showing the installer's title text."""
    def dialog():
        for window in auto.windows():
            if window.cls != "#32770":
                continue
            if BROWSE_TITLE in [k["title"] for k in auto.children(window)]:
                return window
        return None
    return tnharness.wait_until(dialog, 20, 0.5)


def pick_folder_by_keyboard(case, auto, first_letter, before_ok=None):
    """In the open folder dialog, picks C:\\<the folder starting with
    |first_letter|> by keyboard as a user would and presses OK; |before_ok|
    runs once the folder is selected."""
    dialog = find_browse_dialog(auto)
    case.assertIsNotNone(dialog, "folder dialog not found")
    time.sleep(1)
    # The last top item is the computer; open it, open its first drive (C:)
    # and jump to the folder by its first letter.
    for key in ("End", "Right", "Down", "Right", "Down", first_letter):
        auto.key(key)
        time.sleep(0.5)
    if before_ok:
        before_ok()
    ok = [k["title"] for k in auto.children(dialog)
          if k["class"].lower() == "button" and k["title"] in ("确定", "OK")]
    case.assertTrue(ok)
    case.assertTrue(auto.press(dialog, ok[0]))
    case.assertTrue(auto.wait_gone(dialog, 10))
    time.sleep(0.5)


class ShellPagesTest(tnharness.WineTestCase):
    bits = 64

    def open_installer(self, exe="tnsetup.exe"):
        install_copy(self.prefix, exe)
        self.proc = self.auto.start(SETUP_WIN)
        self.window = self.auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=40)
        self.assertIsNotNone(self.window, "the installer window did not open")
        tnharness.wait_until(lambda: False, 1.0)  # first paint

    def shot(self, name):
        return self.display.screenshot(os.path.join(SHOTS, name))

    def click(self, place):
        self.auto.click(self.window, *place)

    def expect_box(self, text, buttons, shot=None):
        box = self.auto.message_box(CAPTION, timeout=20)
        self.assertIsNotNone(box, "no message box")
        self.assertEqual(box["text"].replace("\r\n", "\n"), text)
        self.assertEqual(len(box["buttons"]), buttons)
        if shot:
            self.shot(shot)
        return box

    def expect_page(self, page, shot=None):
        why = self.auto.wait_page(self.window, page, 20, proc=self.proc,
                                  screenshot=os.path.join(SHOTS, shot) if shot else None)
        self.assertIsNone(why, why)

    def still_open(self):
        self.assertIsNone(self.proc.poll(), "the installer ended")
        self.assertIsNotNone(self.auto.find_window(title="TNInstall", timeout=2))

    def test_welcome_page(self):
        self.open_installer()
        first = self.shot("welcome.png")
        # While the window is open the work directory holds both files, and
        # the per-user data folder exists.
        work = self.prefix.drive_c("tnextract")
        self.assertTrue(os.path.isfile(os.path.join(work, "7zTmp.dll")))
        self.assertTrue(os.path.isfile(os.path.join(work, "info.ini")))
        self.assertTrue(os.path.isdir(self.prefix.user_dir("AppData", "Roaming", "ZEVodirodaz")))

        # The agreement link shows and hides the agreement.
        self.click(WELCOME["btn_protocol_text"])
        shown = self.shot("welcome_agreement.png")
        self.assertNotEqual(crop(first, self.window, AGREEMENT), crop(shown, self.window, AGREEMENT))
        self.click(WELCOME["btn_protocol_text"])
        hidden = self.shot("welcome_agreement_hidden.png")
        self.assertEqual(crop(first, self.window, AGREEMENT), crop(hidden, self.window, AGREEMENT))

        # Without the agreement neither button leaves the page.
        self.click(WELCOME["btn_checkbox"])
        cleared = self.shot("welcome_unchecked.png")
        self.assertNotEqual(crop(first, self.window, CHECKBOX), crop(cleared, self.window, CHECKBOX))
        for button in ("btn_install", "btn_custom_install"):
            self.click(WELCOME[button])
            box = self.expect_box(A1, 1, "welcome_a1.png" if button == "btn_install" else None)
            self.assertTrue(self.auto.press(box["window"], box["buttons"][0]))
            self.still_open()
        self.shot("welcome_after_a1.png")
        self.assertEqual(self.auto.page(self.window).page, "welcome")

        # Close: Cancel keeps the installer, OK ends it and removes the work directory.
        self.click(WELCOME["btn_close"])
        box = self.expect_box(A2, 2, "welcome_a2.png")
        self.assertTrue(self.auto.press(box["window"], box["buttons"][1]))
        self.still_open()
        self.click(WELCOME["btn_close"])
        box = self.expect_box(A2, 2)
        self.assertTrue(self.auto.press(box["window"], box["buttons"][0]))
        self.assertEqual(self.proc.wait(30), 0)
        self.assertFalse(os.path.exists(work))

    def test_options_page(self):
        huge = "tnsetup_huge_space.exe"
        if not os.path.exists(os.path.join(tnharness.BUILD_DIR, huge)):
            self.skipTest(huge + " is not built")
        self.open_installer(huge)
        self.shot("welcome_huge.png")
        self.click(WELCOME["btn_custom_install"])
        self.expect_page("options")
        options = self.shot("options.png")
        self.assertEqual(red_pixels(crop(options, self.window, INFO_LABEL)), 0)

        # Clear the boxes, go back, come again: all selected again.
        for box in ("btn_cb_shortcut", "btn_cb_Launchbar", "btn_cb_autorun"):
            self.click(OPTIONS[box])
        cleared = self.shot("options_cleared.png")
        self.assertNotEqual(crop(options, self.window, OPTION_BOXES),
                            crop(cleared, self.window, OPTION_BOXES))
        self.click(OPTIONS["btn_return"])
        self.expect_page("welcome")
        self.click(WELCOME["btn_custom_install"])
        self.expect_page("options")
        again = self.shot("options_again.png")
        self.assertEqual(crop(options, self.window, OPTION_BOXES),
                         crop(again, self.window, OPTION_BOXES))

        # 999999 GB are not free: the space message, the page stays.
        self.click(OPTIONS["btn_install"])
        message = self.shot("options_space_message.png")
        self.assertGreater(red_pixels(crop(message, self.window, INFO_LABEL)), 20)
        view = self.auto.page(self.window)
        self.assertEqual(view.page, "options")
        self.assertIn(SPACE_TEXT, view.controls, "the space message is not read out")

        # The folder dialog opens with its title; Cancel changes nothing, and
        # the message was cleared when it opened.
        self.click(OPTIONS["btn_browser"])
        dialog = find_browse_dialog(self.auto)
        self.assertIsNotNone(dialog, "folder dialog not found")
        self.shot("options_browse.png")
        cancel = [k["title"] for k in self.auto.children(dialog)
                  if k["class"].lower() == "button" and k["title"] in ("取消", "Cancel")]
        self.assertTrue(cancel)
        self.assertTrue(self.auto.press(dialog, cancel[0]))
        self.assertTrue(self.auto.wait_gone(dialog, 10))
        tnharness.wait_until(lambda: False, 0.5)
        after = self.shot("options_browse_cancelled.png")
        self.assertEqual(red_pixels(crop(after, self.window, INFO_LABEL)), 0)

        # From the welcome page the failed check switches to the options page.
        self.click(OPTIONS["btn_return"])
        self.click(WELCOME["btn_install"])
        tnharness.wait_until(lambda: False, 0.5)
        self.expect_page("options")
        switched = self.shot("welcome_space_message.png")
        self.assertGreater(red_pixels(crop(switched, self.window, INFO_LABEL)), 20)

        self.auto.key("Escape")
        self.assertEqual(self.proc.wait(30), 0)
        self.assertFalse(os.path.exists(self.prefix.drive_c("tnextract")))



if __name__ == "__main__":
    unittest.main(verbosity=2)
