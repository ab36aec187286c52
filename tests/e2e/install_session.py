"""What the installation tests share: packing installers with the sample
product, driving one installation by real clicks, and reading what it left
on the machine (files, registry, links, the sample programs' launch record,
the installer's trace)."""
import codecs
import hashlib
import os
import random
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import tnharness
from damage_payload import damage_payload
from test_shell_pages import OPTIONS, WELCOME, pick_folder_by_keyboard

TNPACK = os.path.join(tnharness.HOST_BUILD_DIR, "tnpack")
PRODUCT = os.path.join(tnharness.BUILD_DIR, "sample", "product")
SETUP_WIN = r"C:\Downloads\TarnisSetup.exe"
INSTALL_DIR = r"C:\Program Files (x86)\ZEVodirodaz"
UNINSTALL_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\ZEVodirodaz"
# The same key as a 64-bit program sees the 32-bit view of a 64-bit system.
UNINSTALL_KEY_WOW64 = r"SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\ZEVodirodaz"
DISPLAY_NAME = "Tarnis模拟器"
UNINSTALL_LINK_NAME = "卸载Tarnis模拟器"
CAPTION = "Tarnis模拟器 安装"
VERSION = "0.2.0.1726"
RECORD = r"C:\tn_record.log"
SHOTS = tnharness.screenshot_dir("install")

# Client coordinates and regions (x, y, w, h) of the skin's controls.
FINISH_OPEN = (305, 315)
FINISH_CLOSE = (590, 13)
STATUS_LINE = (24, 318, 150, 20)
PICTURE = (0, 32, 610, 228)

# Special folders (CSIDL values).
CSIDL_DESKTOPDIRECTORY = 0x10
CSIDL_STARTUP = 0x07
CSIDL_STARTMENU = 0x0B
CSIDL_APPDATA = 0x1A
CSIDL_COMMON_PROGRAMS = 0x17
CSIDL_PROGRAMS = 0x02

# Trace lines of the installer (debug strings), as Wine prints them with
# the timestamp option: "<seconds>.<ms>:<tid>:warn:debugstr:OutputDebugStringA "...""
TRACE_LINE = re.compile(r'^(\d+\.\d+):[0-9a-f]+:(?:[0-9a-f]+:)?\w+:debugstr:OutputDebugString[AW] "(.*)"$')
COMPLETION_STARTED = "解压完成，开始注册程序并创建快捷方式"
HYPERVISOR_STARTED = "开始安装VMware"
FINISH_SHOWN = "显示安装完成页面"

REG_SZ = 1
REG_DWORD = 4


def require_sample_build():
    if not (os.path.exists(TNPACK) and os.path.isfile(os.path.join(PRODUCT, "uninstall.exe"))):
        raise unittest.SkipTest("tnpack or the sample product is not built")


def scratch_dir(prefix):
    scratch = os.path.join(tnharness.BUILD_DIR, "scratch")
    os.makedirs(scratch, exist_ok=True)
    return tempfile.mkdtemp(prefix=prefix, dir=scratch)


def pack(out, product=PRODUCT, archive=None, stub="tnsetup.exe"):
    source = ["--archive", archive] if archive else ["--product", product]
    subprocess.run([TNPACK, "--stub", os.path.join(tnharness.BUILD_DIR, stub)] + source +
                   ["--out", out], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return out


def pack_damaged(intact, out, item):
    """A copy of the packed installer |intact| with bytes of |item|'s packed
    data inverted; the archive's headers stay whole, so it still opens."""
    shutil.copy(intact, out)
    damage_payload(out, item=item)
    return out


def make_slow_product(out, files=2000, size=256):
    """The sample product and |files| small files more (|size| random bytes
    each): enough to keep the extraction busy for some seconds, so that a
    test can look at the machine between the start of the installation and
    its completion."""
    shutil.copytree(PRODUCT, out)
    rng = random.Random(14)
    for index in range(files):
        folder = os.path.join(out, "filler", "%02d" % (index // 100))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "%04d.bin" % index), "wb") as f:
            f.write(rng.randbytes(size))
    return out


def tree(root):
    """{relative path: sha256 or "<dir>"} of everything below |root|."""
    found = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames:
            found[os.path.relpath(os.path.join(dirpath, name), root)] = "<dir>"
        for name in filenames:
            path = os.path.join(dirpath, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root)] = hashlib.sha256(f.read()).hexdigest()
    return found


def parse_record_line(line):
    fields = []
    for part in line.split("\t"):
        name, _, value = part.partition("=")
        value = re.sub(r"%([0-9A-F]{2})", lambda m: chr(int(m.group(1), 16)), value)
        fields.append((name, value))
    return dict(fields)


def decode_trace_text(escaped):
    """The text of a debug string as Wine's trace escapes it (GBK bytes)."""
    raw = codecs.escape_decode(escaped.encode("latin-1"))[0]
    return raw.decode("gbk", "replace").rstrip("\n")


class InstallerTestCase(tnharness.WineTestCase):
    """One prefix, one display, one installer per test."""

    windows_version = None  # "win7", "win10": set before the installer starts

    def setUp(self):
        super().setUp()
        if self.windows_version:
            self.prefix.set_windows_version(self.windows_version)
        self.proc = None
        self.window = None
        self.trace_path = os.path.join(self.prefix.path, "installer_trace.log")

    # --- the machine --------------------------------------------------------

    def win_to_host(self, path):
        """Host path of a C: path inside the prefix."""
        self.assertTrue(path[:3].lower() == "c:\\", path)
        return self.prefix.drive_c(*[p for p in path[3:].split("\\") if p])

    def folder(self, csidl):
        path = self.auto.special_folder(csidl)
        self.assertIsNotNone(path, "special folder %#x" % csidl)
        return path

    def reg(self, *args):
        subprocess.run(["wine", "reg"] + list(args), env=self.prefix.env(self.display), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def register_hypervisor(self, version="14.1.1"):
        """What an installed VMware Workstation leaves in the 64-bit view."""
        self.reg("add", r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\vmware.exe",
                 "/ve", "/d", r"C:\Program Files (x86)\VMware\vmware.exe", "/f", "/reg:64")
        self.reg("add", r"HKLM\SOFTWARE\Wow6432Node\VMware, Inc.\VMware Workstation",
                 "/v", "ProductVersion", "/t", "REG_SZ", "/d", version, "/f", "/reg:64")

    def record(self):
        """The sample programs' launch record: one dict per line."""
        path = self.win_to_host(RECORD)
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            text = f.read().decode("gbk", "replace")
        return [parse_record_line(l) for l in text.split("\r\n") if l]

    def starts_of(self, program):
        return [r for r in self.record()
                if r.get("program", "").lower() == program.lower() and r.get("event") == "start"]

    def link(self, folder, name):
        """The resolved link |folder|\\|name|.lnk, or None when it is not there."""
        return self.auto.resolve_lnk(folder + "\\" + name + ".lnk")

    def assert_product_link(self, link, target):
        self.assertIsNotNone(link)
        self.assertEqual(link["target"].lower(), target.lower())
        # Exactly three properties: target, empty description, SW_SHOW.
        self.assertEqual(link["description"], "")
        self.assertEqual(link["arguments"], "")
        self.assertEqual(link["workdir"], "")
        self.assertEqual(link["showcmd"], 5)

    def trace(self):
        """[(seconds, text)] of the installer's debug strings."""
        if not os.path.exists(self.trace_path):
            return []
        lines = []
        with open(self.trace_path, "rb") as f:
            for raw in f.read().decode("latin-1").splitlines():
                m = TRACE_LINE.match(raw)
                if m:
                    lines.append((float(m.group(1)), decode_trace_text(m.group(2))))
        return lines

    def trace_time(self, text):
        times = [t for t, line in self.trace() if line == text]
        return times[0] if times else None

    def completion_seconds(self, end=FINISH_SHOWN):
        """Seconds from the start of the completion sequence to |end|, as the
        installer's trace times them; also appended to the measurements file."""
        start, stop = self.trace_time(COMPLETION_STARTED), self.trace_time(end)
        if start is None or stop is None:
            return None
        seconds = stop - start
        out = os.path.join(tnharness.BUILD_DIR, "measurements")
        os.makedirs(out, exist_ok=True)
        with open(os.path.join(out, "completion_sequence.txt"), "a") as f:
            f.write("%.3f\t%s\t%s\n" % (seconds, self.id(), end))
        print("completion sequence (%s): %.3f s" % (self.id(), seconds))
        return seconds

    # --- the installer --------------------------------------------------------

    def open_installer(self, setup_exe, extra_env=None, cwd=None):
        """Starts the installer from C:\\Downloads (|cwd|: a host folder as
        its current directory) and waits for its window."""
        folder = self.prefix.drive_c("Downloads")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(setup_exe, os.path.join(folder, "TarnisSetup.exe"))
        env = self.prefix.env(self.display)
        env.update({"TN_SAMPLE_RECORD": RECORD, "WINEDEBUG": "-all,+debugstr,+timestamp"})
        env.update(extra_env or {})
        # The trace goes to a file: Wine's background processes inherit the
        # handle and would keep a pipe open.
        with open(self.trace_path, "ab") as trace:
            self.proc = subprocess.Popen(["wine", SETUP_WIN], env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=trace)
        self.window = self.auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=40)
        self.assertIsNotNone(self.window, "the installer window did not open")
        time.sleep(1)
        self.shot("welcome_" + self._testMethodName)

    def shot(self, name):
        return self.display.screenshot(os.path.join(SHOTS, name + ".png"))

    def click(self, place):
        self.auto.click(self.window, *place)

    def install_from_welcome(self):
        self.click(WELCOME["btn_install"])
        # Off the buttons, so that no hover look counts as a page change.
        self.auto.hover(self.window, 300, 100)

    def page(self):
        """The page the installer shows, as its accessible tree says."""
        return self.auto.page(self.window).page

    def wait_page(self, page, shot, timeout=90):
        """Waits for |page|; fails at once, saying why, when the installer
        ends or shows a dialog instead. The screenshot |shot| shows it."""
        why = self.auto.wait_page(self.window, page, timeout, proc=self.proc,
                                  screenshot=os.path.join(SHOTS, shot + ".png"))
        self.assertIsNone(why, why)

    def wait_finish(self, shot, timeout=90):
        self.wait_page("finish", shot, timeout)

    def close_from_finish(self):
        self.click(FINISH_CLOSE)
        self.assertEqual(0, self.proc.wait(30))

    def choose_folder(self, first_letter):
        """Picks C:\\<the folder starting with |first_letter|> in the options
        page's folder dialog, by keyboard as a user would."""
        self.click(OPTIONS["btn_browser"])
        pick_folder_by_keyboard(self, self.auto, first_letter)


class PackedInstallerTestCase(InstallerTestCase):
    """Installers packed once for the class into a scratch folder of its own,
    which goes with the class: subclasses name the folder (scratch_prefix)
    and pack into cls.scratch in pack_installers()."""

    scratch_prefix = "installers-"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        require_sample_build()
        cls.scratch = scratch_dir(cls.scratch_prefix)
        cls.pack_installers()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)
        super().tearDownClass()

    @classmethod
    def pack_installers(cls):
        raise NotImplementedError
