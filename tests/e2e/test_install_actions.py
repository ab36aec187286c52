"""What a whole installation leaves on the machine, installed by clicks from
the welcome page or the options page: the extracted product, its uninstall
entry, its links, the report hand-off; and how long the completion sequence
takes under Wine (a measurement, printed and kept, not asserted)."""
import configparser
import os
import unittest

import tnharness
from install_session import (
    CSIDL_APPDATA, CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_STARTUP, DISPLAY_NAME,
    INSTALL_DIR, OPTIONS, PRODUCT, REG_DWORD, REG_SZ, UNINSTALL_KEY, UNINSTALL_KEY_WOW64,
    UNINSTALL_LINK_NAME, VERSION, PackedInstallerTestCase, pack, tree)
from test_shell_pages import OPTION_BOXES, WELCOME, crop

QUICK_LAUNCH = r"\Microsoft\Internet Explorer\Quick Launch"

SHIPPED_VALUES = {
    "DisplayIcon": (REG_SZ, INSTALL_DIR + r"\ZEVodirodaz.exe"),
    "DisplayName": (REG_SZ, DISPLAY_NAME),
    "DisplayVersion": (REG_SZ, VERSION),
    "MyVersion": (REG_DWORD, 1726),
    "NoModify": (REG_DWORD, 1),
    "NoRemove": (REG_DWORD, 0),
    "NoRepair": (REG_DWORD, 1),
    "Publisher": (REG_SZ, "塔尼斯科技有限公司"),
    "UninstallString": (REG_SZ, INSTALL_DIR + r"\uninstall.exe"),
    "URLInfoAbout": (REG_SZ, "https://tarnis.cn/"),
}


class InstallActionsBase(PackedInstallerTestCase):
    scratch_prefix = "install-actions-"

    @classmethod
    def pack_installers(cls):
        cls.setup_exe = pack(os.path.join(cls.scratch, "TarnisSetup.exe"))
        cls.numeric_setup_exe = pack(os.path.join(cls.scratch, "NumericSetup.exe"),
                                     stub="tnsetup_numeric_entries.exe")

    def setUp(self):
        super().setUp()
        self.install_dir = self.win_to_host(INSTALL_DIR)
        # With VMware Workstation 14 in place no hypervisor setup follows, so
        # the finish page comes straight after the completion sequence.
        self.register_hypervisor("14.1.1")
        self.app_data = self.folder(CSIDL_APPDATA)
        self.start_menu = self.folder(CSIDL_STARTMENU) + r"\Programs\ZEVodirodaz"
        self.desktop = self.folder(CSIDL_DESKTOPDIRECTORY)
        self.startup = self.folder(CSIDL_STARTUP)
        self.quick_launch = self.app_data + QUICK_LAUNCH
        # Every Windows profile has its Quick Launch folder (the taskbar's
        # pins live below it); a Wine prefix has none, and the installer
        # does not make it.
        os.makedirs(self.win_to_host(self.quick_launch), exist_ok=True)

    def uninstall_values(self):
        values = self.auto.reg_values("HKLM", UNINSTALL_KEY, view=32)
        self.assertIsNotNone(values, "no uninstall key in the 32-bit view")
        return values

    def assert_string_values_keep_their_nul(self):
        sizes = {line["name"]: line["size"]
                 for line in self.auto.run("reg-values", "HKLM", UNINSTALL_KEY, "--view", 32)[1]}
        for name, (kind, data) in self.uninstall_values().items():
            if kind == REG_SZ:
                self.assertEqual(sizes[name], (len(data) + 1) * 2, name)

    def report_file(self):
        return self.win_to_host(self.app_data + r"\ZEVodirodaz\submitconfig.ini")

    def read_report_file(self):
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        with open(self.report_file(), encoding="gbk") as f:
            parser.read_file(f)
        return parser

    def assert_report_program_started_once(self):
        self.assertTrue(tnharness.wait_until(lambda: self.starts_of("ZiduVaziruzOzuded.exe"), 20, 0.5),
                        "the reporting program did not start: %r" % self.record())
        starts = self.starts_of("ZiduVaziruzOzuded.exe")
        self.assertEqual(len(starts), 1, starts)
        start = starts[0]
        self.assertEqual(start["argument_count"], "1")
        self.assertEqual(start["argument"], VERSION + "_0")
        self.assertTrue(start["command_line"].rstrip().endswith(" " + VERSION + "_0"),
                        start["command_line"])
        self.assertEqual(start["directory"].rstrip("\\").lower(), INSTALL_DIR.lower())
        # Hidden: the show command counts and is SW_HIDE.
        self.assertTrue(int(start["flags"], 16) & 1, start)
        self.assertEqual(start["show"], "0")
        # The program found the hand-off file, and it agreed with its place.
        self.assertEqual(start["matches"], "1", start)


class InstallActionsWindows7Test(InstallActionsBase):
    windows_version = "win7"

    def test_full_installation_from_the_welcome_page(self):
        # A hand-off file from earlier: its other keys and sections stay.
        data_folder = self.win_to_host(self.app_data + r"\ZEVodirodaz")
        os.makedirs(data_folder, exist_ok=True)
        with open(self.report_file(), "w", encoding="gbk", newline="\r\n") as f:
            f.write("[CONFIG]\nuserId=4711\ninstallPath=D:\\Old\nVersion=0.1.0.1000\n"
                    "[STATS]\nlaunches=3\n")

        self.open_installer(self.setup_exe)
        self.install_from_welcome()
        self.wait_finish("actions_full_finish")
        self.completion_seconds()

        self.assertEqual(tree(PRODUCT), tree(self.install_dir), "the extracted tree differs")

        # The uninstall entry: exactly the ten values, in the 32-bit view.
        self.assertEqual(self.uninstall_values(), SHIPPED_VALUES)
        self.assert_string_values_keep_their_nul()
        self.assertEqual(self.auto.reg_values("HKLM", UNINSTALL_KEY_WOW64, view=64), SHIPPED_VALUES)
        self.assertIsNone(self.auto.reg_values("HKLM", UNINSTALL_KEY, view=64),
                          "the entry must not be in the 64-bit view")

        # Links.
        self.assertEqual(sorted(os.listdir(self.win_to_host(self.start_menu))),
                         sorted([DISPLAY_NAME + ".lnk", UNINSTALL_LINK_NAME + ".lnk"]))
        main_program = INSTALL_DIR + r"\ZEVodirodaz.exe"
        self.assert_product_link(self.link(self.start_menu, DISPLAY_NAME), main_program)
        self.assert_product_link(self.link(self.start_menu, UNINSTALL_LINK_NAME),
                                 INSTALL_DIR + r"\uninstall.exe")
        self.assert_product_link(self.link(self.desktop, DISPLAY_NAME), main_program)
        self.assert_product_link(self.link(self.startup, "TNZiduvaZevi"),
                                 INSTALL_DIR + r"\TNZiduvaZevi.exe")
        # Windows 7: the Quick Launch link that the taskbar pin is made from.
        # (The pin verb itself does nothing under Wine.)
        self.assert_product_link(self.link(self.quick_launch, DISPLAY_NAME), main_program)

        # The report hand-off.
        report = self.read_report_file()
        self.assertEqual(report["CONFIG"]["installPath"], INSTALL_DIR)
        self.assertEqual(report["CONFIG"]["Version"], VERSION)
        self.assertEqual(report["CONFIG"]["userId"], "4711")
        self.assertEqual(report["STATS"]["launches"], "3")
        self.assert_report_program_started_once()

        # VMware Workstation 14 is there: no setup ran, its setup program stays.
        self.assertEqual(self.starts_of("VMware14.exe"), [])
        self.assertFalse(os.path.exists(os.path.join(self.install_dir, "Vmware.bat")))

        self.close_from_finish()
        self.assertFalse(os.path.exists(self.prefix.drive_c("tnextract")),
                         "the work directory outlived the installer")
        # Nothing started twice, nothing else started.
        self.assertEqual([r["program"] for r in self.record() if r.get("event") == "start"],
                         ["ZiduVaziruzOzuded.exe"])

    def test_options_page_with_every_choice_cleared(self):
        self.open_installer(self.setup_exe)
        self.click(WELCOME["btn_custom_install"])
        self.auto.hover(self.window, 300, 100)
        before = crop(self.shot("actions_options_before"), self.window, OPTION_BOXES)
        for box in ("btn_cb_shortcut", "btn_cb_Launchbar", "btn_cb_autorun"):
            self.click(OPTIONS[box])
        self.auto.hover(self.window, 300, 100)
        after = crop(self.shot("actions_options_cleared"), self.window, OPTION_BOXES)
        self.assertNotEqual(before, after, "the check boxes did not change")
        self.click(OPTIONS["btn_install"])
        self.auto.hover(self.window, 300, 100)
        self.wait_finish("actions_options_finish")
        self.completion_seconds()

        start_menu = self.win_to_host(self.start_menu)
        self.assertEqual(sorted(os.listdir(start_menu)),
                         sorted([DISPLAY_NAME + ".lnk", UNINSTALL_LINK_NAME + ".lnk"]))
        self.assertIsNone(self.link(self.desktop, DISPLAY_NAME))
        self.assertIsNone(self.link(self.quick_launch, DISPLAY_NAME))
        self.assertIsNone(self.link(self.startup, "TNZiduvaZevi"))
        # The report follows the links.
        self.assert_report_program_started_once()
        report_written = os.stat(self.report_file()).st_mtime_ns
        for name in os.listdir(start_menu):
            self.assertLessEqual(os.stat(os.path.join(start_menu, name)).st_mtime_ns, report_written)
        self.assertEqual(self.uninstall_values(), SHIPPED_VALUES)
        self.close_from_finish()


class InstallActionsWindows10Test(InstallActionsBase):
    windows_version = "win10"

    def test_numeric_looking_entries_and_no_quick_launch_link(self):
        self.open_installer(self.numeric_setup_exe)
        self.install_from_welcome()
        self.wait_finish("actions_win10_finish")
        self.completion_seconds()

        values = self.uninstall_values()
        # A value that only begins with a number is text; "007" and "2.5"
        # read as numbers and are stored as their leading integer.
        self.assertEqual(values.pop("BuildTag"), (REG_SZ, "12abc"))
        self.assertEqual(values.pop("Channel"), (REG_DWORD, 7))
        self.assertEqual(values.pop("ScaleFactor"), (REG_DWORD, 2))
        expected = dict(SHIPPED_VALUES)
        # The variant keeps a short publisher (the stub's version information
        # needs one) and drops the address, to stay within the section's
        # 260 bytes.
        expected["Publisher"] = (REG_SZ, "塔尼斯")
        del expected["URLInfoAbout"]
        self.assertEqual(values, expected)
        self.assert_string_values_keep_their_nul()

        # Windows 10: the pin choice is on, but no Quick Launch link is made.
        self.assertIsNone(self.link(self.quick_launch, DISPLAY_NAME))
        self.assert_product_link(self.link(self.desktop, DISPLAY_NAME), INSTALL_DIR + r"\ZEVodirodaz.exe")
        self.assert_product_link(self.link(self.startup, "TNZiduvaZevi"),
                                 INSTALL_DIR + r"\TNZiduvaZevi.exe")
        self.assert_report_program_started_once()
        self.close_from_finish()


if __name__ == "__main__":
    unittest.main(verbosity=2)
