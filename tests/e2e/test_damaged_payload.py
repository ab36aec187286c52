"""A payload with damaged packed data is a failed installation: the user
gets the installer's error message, and nothing is registered or linked.
The same installer undamaged installs to the finish page."""
import os
import unittest

import tnharness
from install_session import (
    CAPTION, CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_STARTUP, DISPLAY_NAME, INSTALL_DIR,
    PRODUCT, UNINSTALL_KEY, PackedInstallerTestCase, pack, pack_damaged)


DAMAGED_ITEM = "data/system/system.img"
FAILED_TEXT = "安装过程中出错!\n安装模拟器失败，程序退出!"


class DamagedPayloadTest(PackedInstallerTestCase):
    scratch_prefix = "damaged-payload-"

    @classmethod
    def pack_installers(cls):
        cls.intact_setup_exe = pack(os.path.join(cls.scratch, "IntactSetup.exe"))
        cls.damaged_setup_exe = pack_damaged(cls.intact_setup_exe,
                                             os.path.join(cls.scratch, "DamagedSetup.exe"), DAMAGED_ITEM)

    def setUp(self):
        super().setUp()
        self.register_hypervisor("14.1.1")

    def traces_of_an_installation(self):
        start_menu = self.folder(CSIDL_STARTMENU) + r"\Programs\ZEVodirodaz"
        return {
            "uninstall entry": self.auto.reg_key_exists("HKLM", UNINSTALL_KEY, view=32),
            "start menu": os.path.exists(self.win_to_host(start_menu)),
            "desktop link": os.path.exists(self.win_to_host(
                self.folder(CSIDL_DESKTOPDIRECTORY) + "\\" + DISPLAY_NAME + ".lnk")),
            "auto-start link": os.path.exists(self.win_to_host(
                self.folder(CSIDL_STARTUP) + r"\TNZiduvaZevi.lnk")),
            "report": bool(self.starts_of("ZiduVaziruzOzuded.exe")),
        }

    def test_one_damaged_item_fails_the_installation(self):
        self.open_installer(self.damaged_setup_exe)
        self.install_from_welcome()
        # The wait for the finish page ends early at the installer's box.
        why = self.auto.wait_page(self.window, "finish", 90, proc=self.proc)
        self.assertIsNotNone(why, "the damaged installation ended as a success")
        box = self.auto.message_box(CAPTION, timeout=1)
        self.assertIsNotNone(box, "no error message: %s" % why)
        self.shot("damaged_payload_message")
        self.assertEqual(box["text"].replace("\r\n", "\n"), FAILED_TEXT)
        self.assertEqual(len(box["buttons"]), 1)
        self.assertTrue(self.auto.press(box["window"], box["buttons"][0]))
        self.assertEqual(0, self.proc.wait(30))
        self.assertEqual(self.traces_of_an_installation(), {
            "uninstall entry": False, "start menu": False, "desktop link": False,
            "auto-start link": False, "report": False})
        # A failed first installation leaves none of its files either.
        self.assertFalse(os.path.exists(self.win_to_host(INSTALL_DIR)), "partial files stayed")
        self.assertFalse(os.path.exists(self.prefix.drive_c("tnextract")))

    def test_the_same_archive_undamaged_installs(self):
        self.open_installer(self.intact_setup_exe)
        self.install_from_welcome()
        self.wait_finish("damaged_payload_intact_finish")
        install_dir = self.win_to_host(INSTALL_DIR)
        with open(os.path.join(PRODUCT, *DAMAGED_ITEM.split("/")), "rb") as f:
            expected = f.read()
        with open(os.path.join(install_dir, *DAMAGED_ITEM.split("/")), "rb") as f:
            self.assertEqual(f.read(), expected)
        self.assertTrue(tnharness.wait_until(lambda: self.starts_of("ZiduVaziruzOzuded.exe"), 20, 0.5))
        self.assertTrue(all(self.traces_of_an_installation().values()))
        self.close_from_finish()


if __name__ == "__main__":
    unittest.main(verbosity=2)
