"""Wine and X display plumbing shared by the test layers and the demo.

A test never uses the template prefixes directly: it gets a copy of its
own (Prefix) and a private Xvfb display (Display), both removed again when
the test ends, also after a failure.
"""
import contextlib
import fcntl
import os
import shutil
import signal
import subprocess
import tempfile
import time

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
        "WINEDLLOVERRIDES": "mscoree=;mshtml=",
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
        out = subprocess.run(["convert", png, "-format", "%[fx:int(255*p{%d,%d}.r)],"
                              "%[fx:int(255*p{%d,%d}.g)],%[fx:int(255*p{%d,%d}.b)]"
                              % (x, y, x, y, x, y), "info:"],
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
