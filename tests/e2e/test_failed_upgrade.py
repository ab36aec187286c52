"""An installation B over a working installation A that does not complete
(a damaged payload, a full volume, a file of A held open by another program,
the installer killed) leaves A exactly as it was: its files byte for byte,
its uninstall entry, every link and its target, the files its delete list
names. A B that completes leaves nothing of A's backups or of its journal."""
import hashlib
import os
import shutil
import subprocess
import time
import unittest

import tnharness
from install_session import (
    CAPTION, CSIDL_APPDATA, CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS, CSIDL_STARTUP, INSTALL_DIR,
    OPTIONS, PRODUCT, SETUP_WIN, UNINSTALL_KEY, WELCOME, PackedInstallerTestCase,
    make_slow_product, pack, pack_damaged, tree)


QUICK_LAUNCH = r"\Microsoft\Internet Explorer\Quick Launch"
FAILED_TEXT = "安装过程中出错!\n安装模拟器失败，程序退出!"
BACKUP_MARKER = ".~tnbak-"
JOURNAL = r"C:\Program Files (x86)\Common Files\ZEVodirodaz\install.journal"
# What A's delete list names, beside A's directory.
LISTED_FILE = r"C:\Program Files (x86)\ZEVodirodaz old notes.txt"
LISTED_FOLDER = r"C:\Program Files (x86)\ZEVodirodaz cache"
DELETE_LIST = ("<Tarnis><DeleteFiles><DeleteFile>%s</DeleteFile></DeleteFiles>"
               "<DeleteFolders><DeleteFolder>%s</DeleteFolder></DeleteFolders></Tarnis>"
               % (LISTED_FILE, LISTED_FOLDER))


def host_path(prefix, windows_path):
    return prefix.drive_c(*[p for p in windows_path[3:].split("\\") if p])


def install_a(prefix, display, auto, setup_exe):
    """Installation A: the whole installation of |setup_exe| by clicks,
    closed on its finish page."""
    downloads = prefix.drive_c("Downloads")
    os.makedirs(downloads, exist_ok=True)
    shutil.copy(setup_exe, os.path.join(downloads, "TarnisSetup.exe"))
    # Every Windows 7 profile has a Quick Launch folder; a Wine prefix has not.
    os.makedirs(host_path(prefix, auto.special_folder(CSIDL_APPDATA) + QUICK_LAUNCH), exist_ok=True)
    proc = auto.start(SETUP_WIN)
    window = auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=40)
    if not window:
        raise RuntimeError("installation A: the installer window did not open")
    time.sleep(1)
    auto.click(window, *WELCOME["btn_install"])
    auto.hover(window, 300, 100)
    why = auto.wait_page(window, "finish", 120, proc=proc, screenshot=os.path.join(
        tnharness.screenshot_dir("install"), "upgrade_a_finish.png"))
    if why:
        raise RuntimeError("installation A: " + why)
    auto.click(window, 590, 13)
    if proc.wait(30) != 0:
        raise RuntimeError("installation A: the installer did not end with 0")


class FailedUpgradeTest(PackedInstallerTestCase):
    scratch_prefix = "failed-upgrade-"

    @classmethod
    def pack_installers(cls):
        cls.setup_exe = pack(os.path.join(cls.scratch, "TarnisSetup.exe"))
        cls.damaged_setup_exe = pack_damaged(cls.setup_exe, os.path.join(cls.scratch, "DamagedSetup.exe"),
                                             "data/system/system.img")
        product = make_slow_product(os.path.join(cls.scratch, "slow"), files=3000, size=1024)
        cls.slow_setup_exe = pack(os.path.join(cls.scratch, "SlowSetup.exe"), product=product)
        # Installation A, made once by the real installer in a prefix that
        # every test then starts from.
        cls.a_prefixes = os.path.join(cls.scratch, "prefixes")
        os.makedirs(cls.a_prefixes)
        with tnharness.Display() as display, tnharness.Prefix(64) as prefix:
            install_a(prefix, display, tnharness.WinAuto(prefix, display), cls.setup_exe)
            prefix.kill()
            shutil.copytree(prefix.path, os.path.join(cls.a_prefixes, "template64"), symlinks=True)

    def setUp(self):
        self.display = tnharness.Display().__enter__()
        self.addCleanup(self.display.__exit__)
        self.prefix = tnharness.Prefix(64, prefixes_dir=self.a_prefixes).__enter__()
        self.addCleanup(self.prefix.__exit__)
        self.auto = tnharness.WinAuto(self.prefix, self.display)
        self.proc = None
        self.window = None
        self.trace_path = os.path.join(self.prefix.path, "installer_trace.log")
        self.register_hypervisor("14.1.1")
        # What A left beside its directory: a delete list and what it names.
        with open(self.win_to_host(r"C:\Program Files (x86)\DeleteFile.xml"), "w") as f:
            f.write(DELETE_LIST)
        with open(self.win_to_host(LISTED_FILE), "wb") as f:
            f.write(b"notes of A")
        os.makedirs(os.path.join(self.win_to_host(LISTED_FOLDER), "sub"))
        with open(os.path.join(self.win_to_host(LISTED_FOLDER), "sub", "c.bin"), "wb") as f:
            f.write(b"cache of A")
        # And what the user keeps inside it, which no installer brings.
        saves = self.win_to_host(INSTALL_DIR + r"\data\saves")
        os.makedirs(saves)
        with open(os.path.join(saves, "slot1.dat"), "wb") as f:
            f.write(b"a game saved with A")
        self.a = self.machine()
        self.assertTrue(self.a["files"], "installation A is missing")

    # --- what is on the machine -------------------------------------------

    def link_folders(self):
        return {"desktop": self.folder(CSIDL_DESKTOPDIRECTORY),
                "start menu": self.folder(CSIDL_PROGRAMS) + r"\ZEVodirodaz",
                "quick launch": self.folder(CSIDL_APPDATA) + QUICK_LAUNCH,
                "startup": self.folder(CSIDL_STARTUP)}

    def link_target(self, path):
        """The target of the link at |path|. Wine's desktop reads a link that
        has just appeared, and a reader then may find it busy: asked again."""
        for _ in range(5):
            link = self.auto.resolve_lnk(path)
            if link:
                return link.get("target")
            time.sleep(0.5)
        return None

    def machine(self):
        """Everything of the product on the machine: the installed tree, the
        uninstall entry, every link (bytes and target) and the listed paths."""
        links = {}
        for label, folder in self.link_folders().items():
            host = self.win_to_host(folder)
            for name in sorted(os.listdir(host)) if os.path.isdir(host) else []:
                with open(os.path.join(host, name), "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
                target = self.link_target(folder + "\\" + name) if name.endswith(".lnk") else None
                links[label + "\\" + name] = (digest, target)
        listed = {}
        for path in (LISTED_FILE, LISTED_FOLDER):
            host = self.win_to_host(path)
            listed[path] = None
            if os.path.isdir(host):
                listed[path] = tree(host)
            elif os.path.exists(host):
                with open(host, "rb") as f:
                    listed[path] = f.read()
        return {"files": tree(self.win_to_host(INSTALL_DIR)),
                "uninstall entry": self.auto.reg_values("HKLM", UNINSTALL_KEY, view=32),
                "links": links, "listed": listed}

    def leftovers(self):
        """Backups and journal anywhere on drive C."""
        found = []
        for dirpath, dirnames, filenames in os.walk(self.prefix.drive_c()):
            found += [os.path.join(dirpath, n) for n in dirnames + filenames if BACKUP_MARKER in n]
        if os.path.exists(self.win_to_host(JOURNAL)):
            found.append(JOURNAL)
        return found

    def assert_a_intact(self):
        after = self.machine()
        for part in ("files", "uninstall entry", "links", "listed"):
            self.assertEqual(self.a[part], after[part], "A's %s changed" % part)
        self.assertEqual(self.leftovers(), [])

    # --- driving B --------------------------------------------------------

    def start_b(self, setup_exe):
        if os.path.exists(self.trace_path):
            os.remove(self.trace_path)
        self.open_installer(setup_exe)

    def expect_failure_box(self, shot):
        why = self.auto.wait_page(self.window, "finish", 120, proc=self.proc)
        self.assertIsNotNone(why, "B ended as a success")
        box = self.auto.message_box(CAPTION, timeout=5)
        self.assertIsNotNone(box, "no failure box: %s" % why)
        self.shot(shot)
        self.assertEqual(box["text"].replace("\r\n", "\n"), FAILED_TEXT)
        self.assertTrue(self.auto.press(box["window"], box["buttons"][0]))
        self.assertEqual(0, self.proc.wait(30))

    # --- the cases ----------------------------------------------------------

    def test_a_damaged_payload_keeps_a(self):
        self.start_b(self.damaged_setup_exe)
        self.install_from_welcome()
        self.expect_failure_box("upgrade_damaged_box")
        self.assert_a_intact()

    def test_a_full_volume_keeps_a(self):
        # The user picks C:\Full, whose ZEVodirodaz folder is a small volume
        # of its own; drive C has room, so the space check lets B start.
        target = self.prefix.drive_c("Full", "ZEVodirodaz")
        os.makedirs(target)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=600k", "tmpfs", target],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
        if not mounted:
            self.skipTest("a small volume cannot be mounted here (needs root)")
        self.addCleanup(subprocess.run, ["umount", "-l", target], check=False)
        self.start_b(self.setup_exe)
        self.click(WELCOME["btn_custom_install"])
        time.sleep(1)
        self.choose_folder("f")
        self.click(OPTIONS["btn_install"])
        self.auto.hover(self.window, 300, 100)
        self.expect_failure_box("upgrade_full_volume_box")
        self.assertEqual(os.listdir(target), [], "B's partial files stayed on the full volume")
        self.assert_a_intact()

    def test_a_file_held_open_stops_b_before_it_changes_anything(self):
        held = INSTALL_DIR + r"\data\system\system.img"
        shutil.copy(os.path.join(tnharness.BUILD_DIR, "tn_hold_file.exe"), self.prefix.drive_c("hold_file.exe"))
        holder = self.auto.start(r"C:\hold_file.exe", held)
        self.addCleanup(holder.kill)
        time.sleep(2)
        self.assertIsNone(holder.poll(), "the helper could not open the file")
        self.start_b(self.setup_exe)
        self.install_from_welcome()
        self.expect_failure_box("upgrade_held_open_box")
        self.assertFalse([t for _, t in self.trace() if t.startswith("开始释放解压文件")],
                         "B's extraction started")
        self.assert_a_intact()

    def test_a_killed_installer_gives_a_back_at_the_next_start(self):
        self.start_b(self.slow_setup_exe)
        self.install_from_welcome()
        filler = self.win_to_host(INSTALL_DIR + r"\filler")
        self.assertTrue(tnharness.wait_until(
            lambda: os.path.isdir(filler) and len(os.listdir(filler)) > 3, 60, 0.1),
            "B's extraction did not get under way")
        self.shot("upgrade_before_kill")
        self.proc.kill()
        self.proc.wait(30)
        self.assertNotEqual(self.a["files"], self.machine()["files"], "the kill came too late")
        # Started again and closed on its welcome page: A is back.
        self.open_installer(self.setup_exe)
        self.assertEqual(self.page(), "welcome")
        self.click(WELCOME["btn_close"])
        box = self.auto.message_box(CAPTION, timeout=20)
        self.assertIsNotNone(box, "no close question")
        self.assertTrue(self.auto.press(box["window"], box["buttons"][0]))
        self.assertEqual(0, self.proc.wait(30))
        self.assert_a_intact()

    def test_a_completed_upgrade_leaves_no_backup(self):
        self.start_b(self.slow_setup_exe)
        self.install_from_welcome()
        self.wait_finish("upgrade_complete_finish")
        self.close_from_finish()
        after = self.machine()
        self.assertIn(os.path.join("filler", "00", "0000.bin"), after["files"])
        self.assertEqual(after["listed"], {LISTED_FILE: None, LISTED_FOLDER: None})
        self.assertEqual(after["uninstall entry"], self.a["uninstall entry"])
        self.assertEqual(self.leftovers(), [])
        self.assertNotIn(os.path.join("data", "saves", "slot1.dat"), after["files"],
                         "the earlier directory was not replaced")
        for name, digest in tree(PRODUCT).items():
            self.assertEqual(after["files"].get(name), digest, name)


if __name__ == "__main__":
    unittest.main(verbosity=2)
