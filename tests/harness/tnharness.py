"""Wine and X display plumbing shared by the test layers and the demo.

A test never uses the template prefixes directly: it gets a copy of its
own (Prefix) and a private Xvfb display (Display), both removed again when
the test ends, also after a failure.
"""
import contextlib
import fcntl
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

SOURCE_DIR = os.environ.get(
    "TN_SOURCE_DIR",
    os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BUILD_DIR = os.environ.get("TN_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "win32"))
HOST_BUILD_DIR = os.environ.get("TN_HOST_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "host"))
PREFIXES_DIR = os.path.join(BUILD_DIR, "prefixes")
FONT_FACE = "WenQuanYi Micro Hei"


def base_env(prefix=None, display=None, arch=None):
    env = dict(os.environ)
    env.update({
        "LANG": "zh_CN.UTF-8",
        "LC_ALL": "zh_CN.UTF-8",
        "WINEDEBUG": env.get("TN_WINEDEBUG", "-all"),
        # No runtime download prompts; no menu entries or .desktop files on
        # the host for the links a test makes.
        "WINEDLLOVERRIDES": "mscoree=;mshtml=;winemenubuilder.exe=d",
    })
    env.pop("WINELOADERNOEXEC", None)
    if prefix:
        env["WINEPREFIX"] = prefix
    if arch:
        env["WINEARCH"] = arch
    if display:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)
    return env


def _wait_wineserver(env):
    subprocess.run(["wineserver", "-w"], env=env, check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def _private_user_folders(prefix_path):
    """Wine links a new prefix's Desktop, Documents, Downloads, ... to the
    host user's home. A test's links and files must stay in its own prefix,
    so every such link becomes a folder of the prefix."""
    users = os.path.join(prefix_path, "drive_c", "users")
    if not os.path.isdir(users):
        return
    for user in os.listdir(users):
        home = os.path.join(users, user)
        if not os.path.isdir(home) or os.path.islink(home):
            continue
        for name in os.listdir(home):
            path = os.path.join(home, name)
            if os.path.islink(path):
                os.remove(path)
                os.makedirs(path)


def _make_template(path, arch):
    tmp = path + ".new"
    shutil.rmtree(tmp, ignore_errors=True)
    env = base_env(prefix=tmp, arch=arch)
    subprocess.run(["wineboot", "-i"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # "Microsoft YaHei" is what the skin asks for; point it at the CJK font.
    for face in ("Microsoft YaHei", "微软雅黑"):
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Fonts\Replacements",
                        "/v", face, "/t", "REG_SZ", "/d", FONT_FACE, "/f"],
                       env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _wait_wineserver(env)
    _private_user_folders(tmp)
    os.rename(tmp, path)


def prepare_templates(prefixes_dir=PREFIXES_DIR):
    """Creates the 64- and 32-bit template prefixes once; later calls return at once."""
    os.makedirs(prefixes_dir, exist_ok=True)
    with open(os.path.join(prefixes_dir, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        for name, arch in (("template64", "win64"), ("template32", "win32")):
            path = os.path.join(prefixes_dir, name)
            if not os.path.isdir(path):
                _make_template(path, arch)
    return prefixes_dir


class Prefix:
    """A private copy of a template prefix; its Wine processes die with it."""

    def __init__(self, bits=64, prefixes_dir=PREFIXES_DIR, windows_version=None):
        self.bits = bits
        self.template = os.path.join(prefixes_dir, "template%d" % bits)
        self.path = None
        self.windows_version = windows_version

    def __enter__(self):
        if not os.path.isdir(self.template):
            prepare_templates(os.path.dirname(self.template))
        scratch = os.path.join(BUILD_DIR, "scratch")
        os.makedirs(scratch, exist_ok=True)
        self.path = tempfile.mkdtemp(prefix="pfx%d-" % self.bits, dir=scratch)
        os.rmdir(self.path)
        subprocess.run(["cp", "-a", "--reflink=auto", self.template, self.path], check=True)
        _private_user_folders(self.path)
        if self.windows_version:
            self.set_windows_version(self.windows_version)
        return self

    def env(self, display=None):
        return base_env(prefix=self.path, display=display.name if display else None,
                        arch="win64" if self.bits == 64 else "win32")

    def set_windows_version(self, version):
        """version: 'win7', 'win81', 'win10'."""
        subprocess.run(["winecfg", "-v", version], env=self.env(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _wait_wineserver(self.env())

    def drive_c(self, *parts):
        return os.path.join(self.path, "drive_c", *parts)

    def user_dir(self, *parts):
        users = self.drive_c("users")
        names = [n for n in os.listdir(users) if n.lower() != "public"]
        return os.path.join(users, names[0], *parts)

    def kill(self):
        subprocess.run(["wineserver", "-k"], env=self.env(), check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _wait_wineserver(self.env())

    def __exit__(self, *exc):
        if self.path:
            self.kill()
            if not os.environ.get("TN_KEEP_PREFIX"):
                shutil.rmtree(self.path, ignore_errors=True)
        return False


class Display:
    """A private Xvfb display, stopped on exit whatever happened."""

    def __init__(self, size="1024x768x24"):
        self.size = size
        self.proc = None
        self.name = None

    def __enter__(self):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", self.size, "-nolisten", "tcp"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(w)
        number = b""
        with os.fdopen(r, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.__exit__()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number.decode().strip()
        return self

    def screenshot(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        subprocess.run(["import", "-display", self.name, "-window", "root", path], check=True)
        return path

    def pixel(self, png, x, y):
        """(r, g, b) of one pixel of a saved screenshot."""
        fmt = ",".join("%%[fx:int(255*p{%d,%d}.%s)]" % (x, y, c) for c in "rgb")
        out = subprocess.run(["convert", png, "-format", fmt, "info:"],
                             check=True, capture_output=True, text=True).stdout
        return tuple(int(v) for v in out.strip().split(","))

    def xdotool(self, *args):
        env = dict(os.environ, DISPLAY=self.name)
        return subprocess.run(["xdotool"] + [str(a) for a in args], env=env, check=True,
                              capture_output=True, text=True).stdout

    def __exit__(self, *exc):
        if self.proc and self.proc.poll() is None:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        return False


def wait_until(predicate, timeout=10.0, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            return value
        time.sleep(interval)


# Each page of the installer by the accessible name of a control that only
# that page has, as a screen reader finds it: the finish page's start button,
# the installing page's progress bar, the options page's browse button and
# the welcome page's link to the options.
PAGE_SIGNS = (("finish", "立即体验"), ("installing", "安装进度"), ("options", "浏览…"),
              ("welcome", "自定义安装＞"))


class PageView:
    """One reading of the installer window's accessible tree."""

    def __init__(self, lines):
        self.lines = lines or []
        self.controls = {c.get("name"): c for c in self.lines[1:] if c.get("name")}
        self.page = next((page for page, sign in PAGE_SIGNS if sign in self.controls), None)

    @property
    def progress(self):
        """The progress bar's value ("57%"), on the installing page."""
        bar = self.controls.get("安装进度")
        return bar.get("value") if bar else None

    def __str__(self):
        if not self.lines:
            return "no accessible window"
        if self.page == "installing":
            return "installing (%s)" % self.progress
        return self.page or "unknown page (%s)" % ", ".join(sorted(self.controls))


def wine_path(unix_path):
    """The Windows view of a host path (Wine maps / to Z:)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


class Window:
    def __init__(self, info):
        self.info = info
        self.hwnd = info["hwnd"]
        self.title = info.get("title", "")
        self.cls = info.get("class", "")
        self.pid = info.get("pid")

    @property
    def client_origin(self):
        return self.info["client_x"], self.info["client_y"]

    def __repr__(self):
        return "Window(%s %r %r)" % (self.hwnd, self.cls, self.title)


class WinAuto:
    """The automation helper (winauto.exe) inside a test's prefix, plus real
    mouse and keyboard input through xdotool on the test's display."""

    def __init__(self, prefix, display, build_dir=BUILD_DIR):
        self.prefix = prefix
        self.display = display
        self.exe = os.path.join(build_dir, "winauto.exe")

    def run(self, *args, timeout=60):
        # Output goes through a file, not a pipe: Wine's background processes
        # (services, explorer) inherit the handles and would keep a pipe open.
        with tempfile.TemporaryFile() as out:
            proc = subprocess.Popen(["wine", self.exe] + [str(a) for a in args],
                                    env=self.prefix.env(self.display), stdout=out,
                                    stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
            try:
                code = proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                raise
            out.seek(0)
            text = out.read().decode("utf-8", "replace")
        lines = []
        for line in text.splitlines():
            line = line.strip()
            if line.startswith("{"):
                lines.append(json.loads(line))
        return code, lines

    def start(self, exe, *args, cwd=None, extra_env=None):
        """Starts a Windows program in the prefix; returns the wine Popen."""
        env = self.prefix.env(self.display)
        if extra_env:
            env.update(extra_env)
        return subprocess.Popen(["wine", exe] + [str(a) for a in args], env=env, cwd=cwd,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def find_window(self, title=None, cls=None, timeout=10.0, pid=None):
        args = ["find", "--timeout", int(timeout * 1000)]
        if title is not None:
            args += ["--title", title]
        if cls is not None:
            args += ["--class", cls]
        if pid is not None:
            args += ["--pid", pid]
        code, lines = self.run(*args, timeout=timeout + 30)
        return Window(lines[0]) if code == 0 and lines else None

    def windows(self):
        return [Window(i) for i in self.run("list")[1]]

    def children(self, window):
        return self.run("children", _hwnd(window))[1]

    def message_box(self, title, timeout=10.0):
        """The message box with that caption: its window, text and buttons."""
        box = self.find_window(title=title, cls="#32770", timeout=timeout)
        if not box:
            return None
        kids = self.children(box)
        return {
            "window": box,
            "text": "\n".join(k["title"] for k in kids
                              if k["class"].lower() == "static" and k["title"]),
            "buttons": [k["title"] for k in kids if k["class"].lower() == "button"],
        }

    def press(self, window, text):
        return self.run("press", _hwnd(window), text)[0] == 0

    def post_click(self, window, x, y):
        return self.run("click", _hwnd(window), x, y)[0] == 0

    def close(self, window):
        return self.run("close", _hwnd(window))[0] == 0

    def wait_gone(self, window, timeout=10.0):
        return self.run("wait-gone", _hwnd(window), int(timeout * 1000),
                        timeout=timeout + 30)[0] == 0

    def click(self, window, x, y, button=1):
        """A real click at client coordinates of a window."""
        cx, cy = window.client_origin
        self.display.xdotool("mousemove", "--sync", cx + x, cy + y)
        time.sleep(0.1)
        self.display.xdotool("click", button)
        time.sleep(0.2)

    def hover(self, window, x, y):
        cx, cy = window.client_origin
        self.display.xdotool("mousemove", "--sync", cx + x, cy + y)
        time.sleep(0.3)

    def type_text(self, text):
        self.display.xdotool("type", "--delay", 50, text)

    def key(self, *keys):
        self.display.xdotool("key", *keys)

    def reg_read(self, root, key, value, view=32):
        code, lines = self.run("reg", root, key, value, "--view", view)
        if code != 0 or not lines:
            return None
        return lines[0].get("value")

    def reg_key_exists(self, root, key, view=32):
        code, lines = self.run("reg", root, key, "", "--view", view)
        return bool(lines) and lines[0].get("key", False)

    def reg_values(self, root, key, view=32):
        """Every value of a key as {name: (type, data)}; None without the key."""
        code, lines = self.run("reg-values", root, key, "--view", view)
        if code != 0:
            return None
        return {line["name"]: (line["type"], line["value"]) for line in lines}

    def resolve_lnk(self, windows_path):
        code, lines = self.run("lnk", windows_path)
        return lines[0] if code == 0 and lines else None

    def accessible(self, window):
        """The window's accessible client object (first entry, with its child
        count and focused child id) and its children, as a reader sees them."""
        code, lines = self.run("acc", _hwnd(window))
        return lines if code == 0 else None

    def page(self, window):
        """The page the installer window shows, as its accessible tree says."""
        return PageView(self.accessible(window))

    def dialogs(self, pid=None):
        """[(window, text)] of the visible dialog windows (message boxes
        among them), only those of process |pid| when it is given."""
        found = []
        for window in self.windows():
            if window.cls != "#32770" or (pid is not None and window.pid != pid):
                continue
            text = "\n".join(k["title"] for k in self.children(window)
                              if k["class"].lower() == "static" and k["title"])
            found.append((window, text))
        return found

    def wait_page(self, window, page, timeout, proc=None, screenshot=None, interval=0.5):
        """Waits until the installer window shows |page| ("welcome",
        "options", "installing", "finish"). Returns None when it does, else
        why not: the installer ended (|proc| is its wine process), a dialog
        of the installer is up (its caption and text), or the time ran out;
        with the last page seen and, given |screenshot| (a path), a
        screenshot taken then. On success the screenshot shows the page."""
        deadline = time.monotonic() + timeout
        last = None
        unanswered = 0
        while True:
            reason = None
            if proc is not None and proc.poll() is not None:
                reason = "the installer ended with exit code %s" % proc.returncode
            else:
                view = self.page(window)
                if view.page == page:
                    if screenshot:
                        time.sleep(0.3)  # the switch is in the tree before it is painted
                        self.display.screenshot(screenshot)
                    return None
                if view.lines:
                    last = view
                unanswered = 0 if view.lines else unanswered + 1
                for dialog, text in self.dialogs(window.pid):
                    reason = "a dialog is up: %r says %r" % (dialog.title, text)
                    break
                if reason is None and unanswered >= 3:
                    reason = "the installer window does not answer (gone?)"
                if reason is None and time.monotonic() > deadline:
                    reason = "not shown within %g s" % timeout
            if reason:
                reason = "no %s page: %s; last page seen: %s" % (page, reason, last or "none")
                if screenshot:
                    with contextlib.suppress(subprocess.CalledProcessError):
                        self.display.screenshot(screenshot)
                    reason += "; screenshot: %s" % screenshot
                return reason
            time.sleep(interval)

    def accessible_action(self, window, child_id):
        return self.run("acc-do", _hwnd(window), child_id)[0] == 0

    def watch_events(self, window, seconds):
        """Records the WinEvents |window| raises for |seconds| in the
        background; returns an EventWatch, ready once its hook is set."""
        return EventWatch(self, window, seconds)

    def processes(self):
        return [p["name"] for p in self.run("ps")[1]]

    def special_folder(self, csidl):
        code, lines = self.run("folder", csidl)
        return lines[0]["path"] if code == 0 and lines else None


class EventWatch:
    def __init__(self, auto, window, seconds):
        self.out = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(
            ["wine", auto.exe, "events", _hwnd(window), str(int(seconds * 1000))],
            env=auto.prefix.env(auto.display), stdout=self.out, stderr=subprocess.DEVNULL,
            stdin=subprocess.DEVNULL)
        self.seconds = seconds

    def _lines(self):
        self.out.seek(0)
        text = self.out.read().decode("utf-8", "replace")
        return [json.loads(l) for l in text.splitlines() if l.strip().startswith("{")]

    def wait_ready(self, timeout=30):
        return wait_until(lambda: any(l.get("ready") for l in self._lines()), timeout, 0.2)

    def result(self):
        """Waits for the watch to end; the events seen, in order."""
        try:
            self.proc.wait(self.seconds + 60)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise
        events = [l for l in self._lines() if "event" in l]
        self.out.close()
        return events


def _hwnd(window):
    return window.hwnd if isinstance(window, Window) else window


def screenshot_dir(*parts):
    path = os.path.join(BUILD_DIR, "screenshots", *parts)
    os.makedirs(path, exist_ok=True)
    return path


class WineTestCase(unittest.TestCase):
    """A test with a display, a prefix copy (of |bits|) and the automation
    helper of its own, all torn down after each test."""

    bits = 64

    def setUp(self):
        self.display = Display().__enter__()
        self.addCleanup(self.display.__exit__)
        self.prefix = Prefix(self.bits).__enter__()
        self.addCleanup(self.prefix.__exit__)
        self.auto = WinAuto(self.prefix, self.display)
