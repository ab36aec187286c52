"""The hypervisor prerequisite in a real installation: the sample product
carries a stand-in for "VMware14.exe" that records how it was started and
takes a while. What the batch file says, how the setup is run, what the user
sees meanwhile, and which of the hypervisor's programs are ended when."""
import os
import shutil
import time
import unittest

import tnharness
from install_session import (
    COMPLETION_STARTED, HYPERVISOR_STARTED, INSTALL_DIR, OPTIONS, PICTURE, PRODUCT, SHOTS,
    STATUS_LINE, WELCOME, PackedInstallerTestCase, make_slow_product, pack)
from test_shell_pages import crop
from test_shell_startup import start_idle_as

SWITCHES = (' /s /pass /v/qn REBOOT=Suppress EULAS_AGREED=1 '
            'INSTALLDIR="C:\\Program Files (x86)\\VMware" ADDLOCAL=ALL')

def ink(pixels):
    """How much text a crop of the status line holds: its dark pixels."""
    return sum(1 for i in range(0, len(pixels), 3) if pixels[i] < 200)


class HypervisorSetupTest(PackedInstallerTestCase):
    scratch_prefix = "hypervisor-"

    @classmethod
    def pack_installers(cls):
        cls.setup_exe = pack(os.path.join(cls.scratch, "TarnisSetup.exe"))
        product = make_slow_product(os.path.join(cls.scratch, "product"))
        cls.slow_setup_exe = pack(os.path.join(cls.scratch, "SlowSetup.exe"), product=product)
        # A folder where the batch file would go: it cannot be written.
        blocked = os.path.join(cls.scratch, "blocked")
        shutil.copytree(PRODUCT, blocked)
        os.makedirs(os.path.join(blocked, "Vmware.bat"))
        with open(os.path.join(blocked, "Vmware.bat", "keep.txt"), "wb") as f:
            f.write(b"in the way")
        cls.blocked_setup_exe = pack(os.path.join(cls.scratch, "BlockedSetup.exe"), product=blocked)

    def batch_file(self, install_dir):
        return os.path.join(self.win_to_host(install_dir), "Vmware.bat")

    def wait_setup_started(self):
        self.assertTrue(tnharness.wait_until(lambda: self.starts_of("VMware14.exe"), 90, 0.2),
                        "the hypervisor setup did not start; record: %r" % self.record())

    def assert_setup_ran_once(self, install_dir):
        starts = self.starts_of("VMware14.exe")
        self.assertEqual(len(starts), 1, starts)
        command_line = starts[0]["command_line"]
        self.assertTrue(command_line.endswith(SWITCHES), command_line)
        program = command_line[:-len(SWITCHES)].replace('"', "")
        self.assertEqual(program.lower(), (install_dir + r"\VMware14.exe").lower())
        self.assertEqual([r for r in self.record() if r.get("program") == "VMware14.exe"
                          and r.get("event") == "finish"].__len__(), 1)

    def assert_setup_files_removed(self, install_dir):
        host_dir = self.win_to_host(install_dir)
        self.assertFalse(os.path.exists(os.path.join(host_dir, "Vmware.bat")))
        self.assertFalse(os.path.exists(os.path.join(host_dir, "VMware14.exe")))
        self.assertTrue(os.path.exists(os.path.join(host_dir, "ZEVodirodaz.exe")))

    def watch_installing_page(self, seconds):
        """Screenshots of the installing page for |seconds|: the status line's
        ink per shot, and the pictures seen."""
        inks, pictures, kept = [], [], {}
        deadline = time.monotonic() + seconds
        index = 0
        while time.monotonic() < deadline:
            png = self.shot("hypervisor_watch")
            status = crop(png, self.window, STATUS_LINE)
            amount = ink(status)
            if not inks or inks[-1] != amount:
                inks.append(amount)
            if amount not in kept:
                kept[amount] = os.path.join(SHOTS, "hypervisor_status_%d.png" % index)
                shutil.copy(png, kept[amount])
                index += 1
            picture = crop(png, self.window, PICTURE)
            if not pictures or pictures[-1] != picture:
                pictures.append(picture)
        return inks, pictures, kept

    def test_setup_runs_hidden_while_the_page_animates(self):
        # A hypervisor program running when the installation starts is ended.
        start_idle_as(self.auto, self.prefix, "vmplayer.exe")
        self.open_installer(self.slow_setup_exe, extra_env={"TN_VMWARE_SETUP_MS": "9000"})
        self.install_from_welcome()
        self.assertTrue(tnharness.wait_until(
            lambda: os.path.isdir(self.win_to_host(INSTALL_DIR)), 60, 0.2))
        self.assertTrue(tnharness.wait_until(
            lambda: "vmplayer.exe" not in self.auto.processes(), 10, 0.3),
            "vmplayer.exe survived the start of the installation")

        # Started again during the extraction, vmplayer.exe is still running
        # at the completion step, which ends only vmware.exe and vmware-vmx.exe.
        start_idle_as(self.auto, self.prefix, "vmplayer.exe")
        start_idle_as(self.auto, self.prefix, "vmware.exe")
        self.assertIsNone(self.trace_time(COMPLETION_STARTED),
                          "the extraction ended before the programs ran; make the product larger")

        self.wait_setup_started()
        with open(self.batch_file(INSTALL_DIR), "rb") as f:
            batch = f.read()
        self.assertEqual(batch, ('C:\\"Program Files (x86)"\\ZEVodirodaz\\VMware14.exe' + SWITCHES +
                                 "\r\nexit\r\n").encode("ascii"))
        running = self.auto.processes()
        self.assertIn("vmplayer.exe", running)
        self.assertNotIn("vmware.exe", running)
        # Hidden: neither the command interpreter nor the setup shows a window.
        visible = [w for w in self.auto.windows() if w.pid != self.window.pid]
        self.assertEqual(visible, [], "windows shown during the setup")

        inks, pictures, kept = self.watch_installing_page(5.5)
        self.display.screenshot(os.path.join(SHOTS, "hypervisor_installing.png"))
        # "正在安装VMware" with " ", ".", "..", "...": four texts, each with a
        # dot more than the one before, and round again.
        texts = sorted(set(inks))
        self.assertGreaterEqual(len(texts), 4, "status texts seen: %r (%r)" % (inks, kept))
        cycle = texts[-4:]
        steps = [(cycle.index(b) - cycle.index(a)) % 4 for a, b in zip(inks, inks[1:])
                 if a in cycle and b in cycle]
        self.assertTrue(steps and all(step in (1, 2) for step in steps), inks)
        self.assertGreaterEqual(len(pictures), 3, "the pictures stopped turning")

        self.wait_finish("hypervisor_finish", timeout=60)
        setup_started = self.trace_time(HYPERVISOR_STARTED)
        self.assertIsNotNone(setup_started)
        self.completion_seconds(end=HYPERVISOR_STARTED)
        self.assert_setup_ran_once(INSTALL_DIR)
        self.assert_setup_files_removed(INSTALL_DIR)
        self.assertIn("vmplayer.exe", self.auto.processes())
        self.close_from_finish()

    def test_hypervisor_14_installed_means_no_setup(self):
        self.register_hypervisor("14.1.1")
        self.open_installer(self.setup_exe)
        self.install_from_welcome()
        self.wait_finish("hypervisor_present_finish")
        self.assertEqual(self.starts_of("VMware14.exe"), [])
        self.assertIsNone(self.trace_time(HYPERVISOR_STARTED))
        install_dir = self.win_to_host(INSTALL_DIR)
        self.assertTrue(os.path.isfile(os.path.join(install_dir, "VMware14.exe")),
                        "the setup program must stay when it was not needed")
        self.assertFalse(os.path.exists(os.path.join(install_dir, "Vmware.bat")))
        self.close_from_finish()

    def test_ampersand_in_the_install_directory(self):
        # Version 15 is not the one the product needs: the setup runs over it.
        self.register_hypervisor("15.5.0")
        os.makedirs(self.prefix.drive_c("R&D"))
        # Were the "&" taken as a command separator, "C:\R" would run.
        shutil.copy(os.path.join(PRODUCT, "VMware14.exe"), self.prefix.drive_c("R.exe"))
        install_dir = r"C:\R&D\ZEVodirodaz"
        self.open_installer(self.setup_exe, extra_env={"TN_VMWARE_SETUP_MS": "1500"})
        self.click(WELCOME["btn_custom_install"])
        time.sleep(1)
        self.choose_folder("r")
        self.shot("hypervisor_ampersand_options")
        self.click(OPTIONS["btn_install"])
        self.auto.hover(self.window, 300, 100)
        self.wait_setup_started()
        with open(self.batch_file(install_dir), "rb") as f:
            first_line = f.read().split(b"\r\n")[0].decode("ascii")
        self.assertEqual(first_line, 'C:\\"R&D"\\ZEVodirodaz\\VMware14.exe' + SWITCHES)
        self.wait_finish("hypervisor_ampersand_finish", timeout=60)
        self.assert_setup_ran_once(install_dir)
        self.assertEqual(self.starts_of("R.exe"), [], "the batch file ran something else")
        self.assert_setup_files_removed(install_dir)
        self.close_from_finish()

    def test_unwritable_batch_file_still_reaches_the_finish_page(self):
        self.open_installer(self.blocked_setup_exe)
        self.install_from_welcome()
        self.wait_finish("hypervisor_blocked_finish", timeout=60)
        self.assertIsNotNone(self.trace_time(HYPERVISOR_STARTED))
        self.assertEqual(self.starts_of("VMware14.exe"), [])
        install_dir = self.win_to_host(INSTALL_DIR)
        # What stood in the way is not the installer's to delete.
        with open(os.path.join(install_dir, "Vmware.bat", "keep.txt"), "rb") as f:
            self.assertEqual(f.read(), b"in the way")
        self.assertFalse(os.path.exists(os.path.join(install_dir, "VMware14.exe")))
        self.close_from_finish()


if __name__ == "__main__":
    unittest.main(verbosity=2)
