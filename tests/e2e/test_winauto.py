"""The automation helper against a subject program whose behaviour is known."""
import os
import unittest

import tnharness

SUBJECT = os.path.join(tnharness.BUILD_DIR, "winauto_subject.exe")


class WinAutoTest(tnharness.WineTestCase):
    def test_registry_views_and_shortcut(self):
        folder = self.prefix.drive_c("links")
        os.makedirs(folder)
        proc = self.auto.start(SUBJECT, "setup", "C:\\links")
        self.assertEqual(proc.wait(60), 0)
        key = r"Software\TarnisAutoTest"
        self.assertEqual(self.auto.reg_read("HKLM", key, "Name", view=32), "Tarnis模拟器")
        self.assertIsNone(self.auto.reg_read("HKLM", key, "Name", view=64))
        self.assertEqual(self.auto.reg_read("HKLM", key, "Count", view=64), 7)
        self.assertTrue(self.auto.reg_key_exists("HKLM", key, view=32))
        self.assertFalse(self.auto.reg_key_exists("HKLM", r"Software\NoSuchKeyHere", view=32))
        values = self.auto.reg_values("HKLM", key, view=32)
        self.assertEqual(values.get("Name"), (1, "Tarnis模拟器"))  # REG_SZ
        self.assertIsNone(self.auto.reg_values("HKLM", r"Software\NoSuchKeyHere", view=32))
        # In a 64-bit prefix the 32-bit view lives under Wow6432Node.
        self.assertEqual(
            self.auto.reg_read("HKLM", r"Software\Wow6432Node\TarnisAutoTest", "Name", view=64),
            "Tarnis模拟器")

        link = self.auto.resolve_lnk(r"C:\links\subject.lnk")
        self.assertIsNotNone(link)
        self.assertEqual(link["target"].lower(), r"c:\windows\notepad.exe")
        self.assertEqual(link["arguments"], "-x")
        self.assertEqual(link["workdir"].lower(), r"c:\windows")
        self.assertEqual(link["showcmd"], 3)  # SW_SHOWMAXIMIZED
        self.assertIsNone(self.auto.resolve_lnk(r"C:\links\missing.lnk"))

    def test_message_box_text_buttons_and_press(self):
        proc = self.auto.start(SUBJECT, "msgbox")
        box = self.auto.message_box("Tarnis模拟器 安装", timeout=20)
        self.assertIsNotNone(box, "message box not found")
        self.assertEqual(box["text"], "继续安装吗？")
        self.assertEqual(len(box["buttons"]), 2)
        self.display.screenshot(os.path.join(tnharness.screenshot_dir("winauto"), "msgbox.png"))
        self.assertIn("subject", " ".join(self.auto.processes()).lower())
        # The second button is Cancel in any language; pressing it ends the box with IDCANCEL.
        self.assertTrue(self.auto.press(box["window"], box["buttons"][1]))
        self.assertEqual(proc.wait(30), 2)
        self.assertFalse(self.auto.press(box["window"], "no such button"))

    def test_clicks_land_at_client_coordinates(self):
        record = self.prefix.drive_c("clicks.txt")
        proc = self.auto.start(SUBJECT, "window", "C:\\clicks.txt")
        window = self.auto.find_window(title="WinAutoSubject", timeout=20)
        self.assertIsNotNone(window)
        self.assertEqual((window.info["w"], window.info["h"]), (300, 200))
        self.auto.click(window, 10, 20)           # real pointer through X
        self.auto.post_click(window, 150, 120)    # posted messages
        got = tnharness.wait_until(
            lambda: os.path.exists(record) and len(open(record).read().split()) >= 2, 10)
        self.assertTrue(got, "clicks were not recorded")
        self.assertEqual(open(record).read().split(), ["10,20", "150,120"])
        self.assertTrue(self.auto.close(window))
        self.assertTrue(self.auto.wait_gone(window, 10))
        self.assertEqual(proc.wait(30), 0)
        self.assertIsNone(self.auto.find_window(title="WinAutoSubject", timeout=0.5))


if __name__ == "__main__":
    unittest.main(verbosity=2)
