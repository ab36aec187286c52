"""Two builds of the same sources give the same bytes: the installer stub and
the archive library of this tree against a second build of only those two,
made from a copy of the sources at another path, with the fetched packages
reached through another path and in a build tree of another name, at the
same build time (this tree's SOURCE_DATE_EPOCH). Also what decides that
time, and that the skin package carries it."""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

import tnharness

SOURCE_DIR = tnharness.SOURCE_DIR
BUILD_DIR = tnharness.BUILD_DIR
EPOCH_FILE = os.path.join(BUILD_DIR, "source_date_epoch.txt")
EPOCH_TOOL = os.path.join(SOURCE_DIR, "tools", "source_date_epoch.py")
COMPARED = ("tnsetup.exe", "7zTmp.dll")


def cached(name):
    """A value of this tree's CMake cache, or empty."""
    with open(os.path.join(BUILD_DIR, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            if key.split(":")[0] == name:
                return value
    return ""


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def where_in_pe(data, offset):
    """Names the part of a PE file that |offset| lies in."""
    try:
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        fields = {pe + 8: "the file header's time stamp", optional + 64: "the optional header's checksum"}
        for start, name in fields.items():
            if start <= offset < start + 4:
                return name
        table = optional + optional_size
        for i in range(sections):
            name, raw_size, raw_offset = struct.unpack_from("<8s8xII", data, table + 40 * i)
            if raw_offset <= offset < raw_offset + raw_size:
                return "section %s, %d bytes into it" % (
                    name.rstrip(b"\0").decode("ascii", "replace"), offset - raw_offset)
        return "the headers" if offset < table + 40 * sections else "behind the sections"
    except struct.error:
        return "a file that is no PE image"


def describe_difference(first, second):
    with open(first, "rb") as f:
        a = f.read()
    with open(second, "rb") as f:
        b = f.read()
    differing = [i for i in range(min(len(a), len(b))) if a[i] != b[i]]
    text = "%d and %d bytes, %d differing bytes in the common part" % (len(a), len(b), len(differing))
    if differing:
        text += "; the first at offset %d (0x%x), in %s" % (
            differing[0], differing[0], where_in_pe(a, differing[0]))
    return text


def copy_sources(target):
    """The sources as they are checked out, without git data and build trees."""
    build_root = os.path.realpath(os.path.join(SOURCE_DIR, "build"))

    def ignore(folder, names):
        skipped = {".git", "__pycache__"} & set(names)
        for name in names:
            path = os.path.join(folder, name)
            if os.path.realpath(path) == build_root or os.path.isfile(os.path.join(path, "CMakeCache.txt")):
                skipped.add(name)
        return skipped

    shutil.copytree(SOURCE_DIR, target, symlinks=True, ignore=ignore)


class ReproducibleBuildTest(unittest.TestCase):
    def test_another_folder_builds_the_same_stub_and_archive_library(self):
        for name in COMPARED:
            if not os.path.isfile(os.path.join(BUILD_DIR, name)):
                self.skipTest(name + " is not built")
        with open(EPOCH_FILE) as f:
            epoch = f.read().strip()
        work = os.path.join(BUILD_DIR, "release", "reproducible")
        shutil.rmtree(work, ignore_errors=True)
        sources = os.path.join(work, "elsewhere", "tarnis-sources")
        copy_sources(sources)
        deps = os.path.join(work, "fetched-packages")
        os.symlink(os.path.realpath(cached("TARNIS_DEPS_DIR")), deps)
        tree = os.path.join(work, "second-tree")
        environment = dict(os.environ, SOURCE_DATE_EPOCH=epoch)
        started = time.monotonic()
        configure = [
            "cmake", "-S", sources, "-B", tree, "-G", cached("CMAKE_GENERATOR"),
            "-DCMAKE_BUILD_TYPE=" + cached("CMAKE_BUILD_TYPE"),
            "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(sources, "cmake", "mingw-i686.cmake"),
            "-DTARNIS_DEPS_DIR=" + deps,
            "-DTN_SIGN_PKCS12=" + cached("TN_SIGN_PKCS12"),
            "-DTN_SIGN_PASS_FILE=" + cached("TN_SIGN_PASS_FILE"),
        ]
        done = subprocess.run(configure, env=environment, capture_output=True, text=True)
        self.assertEqual(0, done.returncode, done.stdout[-3000:] + done.stderr[-3000:])
        jobs = os.environ.get("TN_JOBS", "2")
        done = subprocess.run(["cmake", "--build", tree, "--target", "tnsetup", "-j", jobs],
                              env=environment, capture_output=True, text=True)
        self.assertEqual(0, done.returncode, done.stdout[-3000:] + done.stderr[-3000:])
        print("second build of the stub and the archive library: %.0f s" % (time.monotonic() - started))

        differences = []
        for name in COMPARED:
            ours, theirs = os.path.join(BUILD_DIR, name), os.path.join(tree, name)
            print("%s: %s here, %s in %s" % (name, sha256(ours), sha256(theirs), tree))
            if sha256(ours) != sha256(theirs):
                differences.append(name + ": " + describe_difference(ours, theirs))
        self.assertEqual([], differences, "the second build (kept in %s) differs" % work)
        shutil.rmtree(work, ignore_errors=True)

    def test_the_skin_package_carries_the_build_time(self):
        with open(EPOCH_FILE) as f:
            epoch = int(f.read())
        expected = time.gmtime(max(epoch, 315532800))[:6]  # ZIP times begin in 1980
        expected = expected[:5] + (expected[5] // 2 * 2,)  # in two-second steps
        with zipfile.ZipFile(os.path.join(BUILD_DIR, "skin", "skin.zip")) as package:
            times = {info.date_time for info in package.infolist()}
        self.assertEqual({expected}, times)


class SourceDateEpochTest(unittest.TestCase):
    """tools/source_date_epoch.py: SOURCE_DATE_EPOCH, else the commit time of a
    work tree's top, else the fixed time."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="source-date-epoch-")
        self.output = os.path.join(self.folder, "epoch.txt")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def epoch(self, source_dir, value=None):
        environment = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
        if value is not None:
            environment["SOURCE_DATE_EPOCH"] = value
        done = subprocess.run([sys.executable, EPOCH_TOOL, source_dir, self.output],
                              env=environment, capture_output=True, text=True)
        if done.returncode != 0:
            return None, done.stderr
        with open(self.output) as f:
            return int(f.read()), done.stderr

    def git(self, folder, *arguments):
        subprocess.run(["git", "-C", folder] + list(arguments), check=True, capture_output=True,
                       env=dict(os.environ, GIT_AUTHOR_DATE="1700000000 +0000",
                                GIT_COMMITTER_DATE="1700000000 +0000",
                                GIT_AUTHOR_NAME="t", GIT_AUTHOR_EMAIL="t@example.com",
                                GIT_COMMITTER_NAME="t", GIT_COMMITTER_EMAIL="t@example.com"))

    def test_order_of_sources(self):
        if shutil.which("git") is None:
            self.skipTest("git is missing")
        repository = os.path.join(self.folder, "repository")
        inner = os.path.join(repository, "copied-sources")
        os.makedirs(inner)
        self.git(repository, "init", "-q")
        self.git(repository, "commit", "-q", "--allow-empty", "-m", "first")
        self.assertEqual(1700000000, self.epoch(repository)[0])
        self.assertEqual(1234567890, self.epoch(repository, "1234567890")[0])
        # Set but empty counts as not set.
        self.assertEqual(1700000000, self.epoch(repository, "")[0])
        # A folder inside another work tree is not that work tree's sources.
        self.assertEqual(1767225600, self.epoch(inner)[0])
        self.assertEqual(1767225600, self.epoch(self.folder)[0])

    def test_malformed_value_fails_the_build(self):
        for value in ("yesterday", "-5", "1.5"):
            epoch, message = self.epoch(self.folder, value)
            self.assertIsNone(epoch, value)
            self.assertIn("SOURCE_DATE_EPOCH", message)


if __name__ == "__main__":
    unittest.main(verbosity=2)
