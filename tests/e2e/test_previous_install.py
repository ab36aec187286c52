"""An installation over an earlier one: what the earlier installation left is
removed before the new one is extracted, and paths from the registry or from
the earlier installation's delete list that point at the system are left
alone."""
import os
import shutil
import subprocess
import time
import unittest

import tnharness
from install_session import (
    COMPLETION_STARTED, CSIDL_APPDATA, CSIDL_COMMON_PROGRAMS, CSIDL_DESKTOPDIRECTORY,
    CSIDL_PROGRAMS, CSIDL_STARTUP, DISPLAY_NAME, INSTALL_DIR, OPTIONS, UNINSTALL_KEY, WELCOME,
    PackedInstallerTestCase, make_slow_product, pack)

QUICK_LAUNCH = r"\Microsoft\Internet Explorer\Quick Launch"
SENTINEL = b"left by the test"

REINSTALL_LIST = r"""<?xml version="1.0" encoding="utf-8"?>
<Tarnis>
  <DeleteFiles>
    <DeleteFile>C:\Games\old_notes.txt</DeleteFile>
    <DeleteFile>C:\Games\saves</DeleteFile>
    <DeleteFile></DeleteFile>
    <DeleteFile>C:\</DeleteFile>
    <DeleteFile>C:\windows\win.ini</DeleteFile>
    <OldLog>C:\Games\old_log.txt</OldLog>
  </DeleteFiles>
  <DeleteFolders>
    <DeleteFolder>C:\Games\cache</DeleteFolder>
    <DeleteFolder/>
    <DeleteFolder>C:\Games\temp</DeleteFolder>
  </DeleteFolders>
</Tarnis>
"""

# A list whose root holds only folders, among them the drive root and the
# Windows folder in several spellings.
FOLDERS_ONLY_LIST = r"""<List>
  <DeleteFolders>
    <DeleteFolder>C:\</DeleteFolder>
    <DeleteFolder>C:\windows</DeleteFolder>
    <DeleteFolder>C:\WINDOWS\</DeleteFolder>
    <DeleteFolder>C:\Apps\..</DeleteFolder>
    <DeleteFolder>C:\windows\Fonts</DeleteFolder>
    <DeleteFolder>C:\Apps\old_cache</DeleteFolder>
  </DeleteFolders>
</List>
"""


class PreviousInstallTest(PackedInstallerTestCase):
    scratch_prefix = "previous-install-"

    @classmethod
    def pack_installers(cls):
        cls.setup_exe = pack(os.path.join(cls.scratch, "TarnisSetup.exe"))
        product = make_slow_product(os.path.join(cls.scratch, "product"))
        cls.slow_setup_exe = pack(os.path.join(cls.scratch, "SlowSetup.exe"), product=product)

    def setUp(self):
        super().setUp()
        self.register_hypervisor("14.1.1")
        self.desktop = self.folder(CSIDL_DESKTOPDIRECTORY)
        self.startup = self.folder(CSIDL_STARTUP)
        self.programs = self.folder(CSIDL_PROGRAMS) + r"\ZEVodirodaz"
        self.common_programs = self.folder(CSIDL_COMMON_PROGRAMS) + r"\ZEVodirodaz"
        self.quick_launch = self.folder(CSIDL_APPDATA) + QUICK_LAUNCH
        # Every Windows 7 profile has this folder; a Wine prefix has not.
        os.makedirs(self.win_to_host(self.quick_launch), exist_ok=True)

    def host(self, path):
        return self.win_to_host(path)

    def write(self, path, data=SENTINEL):
        host = self.host(path)
        os.makedirs(os.path.dirname(host), exist_ok=True)
        with open(host, "wb") as f:
            f.write(data)

    def content(self, path):
        try:
            with open(self.host(path), "rb") as f:
                return f.read()
        except (FileNotFoundError, IsADirectoryError):
            return None

    def wait_new_install_dir(self):
        """Waits until the start-install sequence has made the new install
        directory: the removal of the earlier installation is over then, and
        the extraction has not yet begun."""
        self.assertTrue(tnharness.wait_until(
            lambda: os.path.isdir(self.host(INSTALL_DIR)), 60, 0.05), "no install directory")

    def assert_before_completion(self):
        self.assertIsNone(self.trace_time(COMPLETION_STARTED),
                          "the completion ran before the test looked; make the product larger")

    def test_reinstall_over_a_running_installation_elsewhere(self):
        # The earlier installation, made by the installer into C:\Games.
        os.makedirs(self.prefix.drive_c("Games"))
        self.open_installer(self.setup_exe)
        self.click(WELCOME["btn_custom_install"])
        time.sleep(1)
        self.choose_folder("g")
        self.click(OPTIONS["btn_install"])
        self.auto.hover(self.window, 300, 100)
        self.wait_finish("previous_first_finish")
        self.close_from_finish()
        old_dir = r"C:\Games\ZEVodirodaz"
        self.assertEqual(self.auto.reg_read("HKLM", UNINSTALL_KEY, "DisplayIcon"),
                         old_dir + r"\ZEVodirodaz.exe")
        old_links = [self.desktop + "\\" + DISPLAY_NAME + ".lnk",
                     self.quick_launch + "\\" + DISPLAY_NAME + ".lnk",
                     self.startup + r"\TNZiduvaZevi.lnk",
                     self.programs + "\\" + DISPLAY_NAME + ".lnk"]
        for link in old_links:
            self.assertIsNotNone(self.auto.resolve_lnk(link), link)
        # What else it left: an all-users Start-menu folder, a delete list
        # beside it and the files that list names.
        self.write(self.common_programs + r"\readme.txt")
        with open(self.host(r"C:\Games\DeleteFile.xml"), "w", encoding="utf-8") as f:
            f.write(REINSTALL_LIST)
        for path in (r"C:\Games\old_notes.txt", r"C:\Games\old_log.txt", r"C:\Games\saves\slot1.dat",
                     r"C:\Games\cache\a\b.bin", r"C:\Games\temp\x.txt", r"C:\Games\keep.txt"):
            self.write(path)
        win_ini = self.content(r"C:\windows\win.ini")
        # The earlier product's background program runs from its directory
        # (with its main program running the installer would not start).
        product = self.auto.start(old_dir + r"\TNZiduvaZevi.exe")
        self.assertTrue(tnharness.wait_until(
            lambda: "TNZiduvaZevi.exe" in self.auto.processes(), 20, 0.5))

        os.remove(self.trace_path)
        self.open_installer(self.slow_setup_exe)
        self.install_from_welcome()
        self.wait_new_install_dir()
        left = [p for p in [old_dir] + old_links + [self.programs, self.common_programs]
                if os.path.lexists(self.host(p))]
        self.assert_before_completion()
        self.assertEqual(left, [], "left of the earlier installation before the extraction")
        self.assertNotIn("TNZiduvaZevi.exe", self.auto.processes())
        self.assertIsNotNone(product.wait(30))
        # The delete list: its files and folders went, the directory named
        # as a file and everything it does not name stayed.
        for path in (r"C:\Games\old_notes.txt", r"C:\Games\old_log.txt", r"C:\Games\cache",
                     r"C:\Games\temp"):
            self.assertFalse(os.path.lexists(self.host(path)), path)
        self.assertEqual(self.content(r"C:\Games\saves\slot1.dat"), SENTINEL)
        self.assertEqual(self.content(r"C:\Games\keep.txt"), SENTINEL)
        self.assertEqual(self.content(r"C:\windows\win.ini"), win_ini)

        self.wait_finish("previous_second_finish")
        self.close_from_finish()
        self.assertEqual(self.auto.reg_read("HKLM", UNINSTALL_KEY, "DisplayIcon"),
                         INSTALL_DIR + r"\ZEVodirodaz.exe")
        new_links = [self.desktop + "\\" + DISPLAY_NAME + ".lnk",
                     self.quick_launch + "\\" + DISPLAY_NAME + ".lnk",
                     self.startup + r"\TNZiduvaZevi.lnk",
                     self.programs + "\\" + DISPLAY_NAME + ".lnk"]
        for link in new_links:
            self.assertTrue(self.auto.resolve_lnk(link)["target"].startswith(INSTALL_DIR), link)

        # The product's own uninstaller removes the new installation cleanly.
        uninstall = subprocess.run(["wine", INSTALL_DIR + r"\uninstall.exe", "/S"],
                                   env=self.prefix.env(self.display), timeout=120,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(0, uninstall.returncode)
        self.assertTrue(tnharness.wait_until(
            lambda: not os.path.exists(self.host(INSTALL_DIR)), 30), "install directory left")
        self.assertFalse(self.auto.reg_key_exists("HKLM", UNINSTALL_KEY, view=32))
        self.assertEqual([p for p in new_links + [self.programs] if os.path.lexists(self.host(p))], [])
        self.assertEqual(self.content(r"C:\Games\keep.txt"), SENTINEL)

    def earlier_traces(self, list_folder=None, list_text=None):
        """Sentinels where an earlier installation's links would be, and a
        delete list naming one file and one folder of the test's own."""
        for path in (self.desktop + "\\" + DISPLAY_NAME + ".lnk",
                     self.quick_launch + "\\" + DISPLAY_NAME + ".lnk",
                     self.startup + r"\TNZiduvaZevi.lnk",
                     self.programs + r"\readme.txt",
                     self.common_programs + r"\readme.txt",
                     r"C:\guard\listed.txt", r"C:\guard\listed_folder\x.txt"):
            self.write(path)
        if list_folder:
            with open(os.path.join(self.host(list_folder), "DeleteFile.xml"), "w") as f:
                f.write(list_text or (r"<L><DeleteFiles><DeleteFile>C:\guard\listed.txt</DeleteFile>"
                                      r"</DeleteFiles><DeleteFolders><DeleteFolder>C:\guard\listed_folder"
                                      r"</DeleteFolder></DeleteFolders></L>"))
        return [self.desktop + "\\" + DISPLAY_NAME + ".lnk",
                self.quick_launch + "\\" + DISPLAY_NAME + ".lnk",
                self.startup + r"\TNZiduvaZevi.lnk", self.programs + r"\readme.txt",
                self.common_programs + r"\readme.txt", r"C:\guard\listed.txt",
                r"C:\guard\listed_folder\x.txt"]

    def run_until_extraction(self, display_icon, shot, cwd=None):
        """Starts an installation over an uninstall entry whose DisplayIcon
        is |display_icon| and stops the installer once the earlier
        installation has been dealt with."""
        self.reg("add", "HKLM\\" + UNINSTALL_KEY, "/v", "DisplayIcon", "/t", "REG_SZ",
                 "/d", display_icon, "/f", "/reg:32")
        if os.path.exists(self.trace_path):
            os.remove(self.trace_path)
        self.open_installer(self.slow_setup_exe, cwd=cwd)
        self.install_from_welcome()
        self.wait_new_install_dir()
        self.shot(shot)
        self.prefix.kill()
        self.proc.wait(30)
        shutil.rmtree(self.host(INSTALL_DIR), ignore_errors=True)

    def test_paths_at_the_system_are_left_alone(self):
        fonts = sorted(os.listdir(self.host(r"C:\windows\Fonts")))
        system = sorted(os.listdir(self.host(r"C:\windows\system32")))
        downloads = self.prefix.drive_c("Downloads")
        os.makedirs(os.path.join(downloads, "ZEVodirodaz.exe"))
        with open(os.path.join(downloads, "ZEVodirodaz.exe", "x.txt"), "wb") as f:
            f.write(SENTINEL)
        cases = (
            # The drive root: the directory would be "C:", the list C:\DeleteFile.xml.
            (r"C:\ZEVodirodaz.exe", r"C:\ ", None),
            # A bare name: relative to the installer's current directory
            # (C:\Downloads, which holds a folder of that name).
            ("ZEVodirodaz.exe", r"C:\ ", downloads),
            # Inside the Windows folder.
            (r"C:\windows\Fonts\ZEVodirodaz.exe", r"C:\windows", None),
            (r"C:\windows\ZEVodirodaz.exe", r"C:\ ", None),
        )
        for index, (display_icon, list_folder, cwd) in enumerate(cases):
            with self.subTest(display_icon=display_icon):
                traces = self.earlier_traces(list_folder.strip())
                self.run_until_extraction(display_icon, "previous_guard_%d" % index, cwd=cwd)
                self.assertEqual([p for p in traces if self.content(p) != SENTINEL], [],
                                 "removed for DisplayIcon %s" % display_icon)
                self.assertEqual(sorted(os.listdir(self.host(r"C:\windows\Fonts"))), fonts)
                self.assertEqual(sorted(os.listdir(self.host(r"C:\windows\system32"))), system)
                self.assertEqual(self.content(r"C:\Downloads\ZEVodirodaz.exe\x.txt"), SENTINEL)

    def test_delete_list_with_only_folders_skips_the_system(self):
        fonts = sorted(os.listdir(self.host(r"C:\windows\Fonts")))
        self.write(r"C:\Apps\ZEVodirodaz\ZEVodirodaz.exe")
        self.write(r"C:\Apps\old_cache\a\b.bin")
        self.write(r"C:\Apps\keep.txt")
        with open(self.host(r"C:\Apps\DeleteFile.xml"), "w") as f:
            f.write(FOLDERS_ONLY_LIST)
        # Links in the old directory to folders elsewhere, relative and absolute.
        self.write(r"C:\Precious\gem.txt")
        self.write(r"C:\Precious2\gem.txt")
        old_dir = self.host(r"C:\Apps\ZEVodirodaz")
        os.symlink(os.path.join("..", "..", "Precious"), os.path.join(old_dir, "linked"))
        os.symlink(self.host(r"C:\Precious2"), os.path.join(old_dir, "linked_abs"))
        self.run_until_extraction(r"C:\Apps\ZEVodirodaz\ZEVodirodaz.exe", "previous_folders_only")
        self.assertFalse(os.path.exists(self.host(r"C:\Apps\old_cache")))
        # The links' targets are untouched. Windows removes a directory link
        # itself; Wine cannot remove a host symbolic link that way, so the
        # two links (and the folder holding them) are all that stays here.
        self.assertEqual(self.content(r"C:\Precious\gem.txt"), SENTINEL)
        self.assertEqual(self.content(r"C:\Precious2\gem.txt"), SENTINEL)
        left = sorted(os.listdir(old_dir)) if os.path.lexists(old_dir) else []
        self.assertTrue(set(left) <= {"linked", "linked_abs"}, left)
        self.assertEqual(self.content(r"C:\Apps\keep.txt"), SENTINEL)
        self.assertEqual(sorted(os.listdir(self.host(r"C:\windows\Fonts"))), fonts)
        self.assertTrue(os.path.isfile(self.host(r"C:\windows\win.ini")))
        self.assertTrue(os.path.isfile(self.host(r"C:\Downloads\TarnisSetup.exe")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
