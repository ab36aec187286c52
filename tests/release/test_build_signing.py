"""The build's signing of the archive library: cmake/SignFile.cmake, which
the build runs on 7zTmp.dll right after linking it when scripts/build.sh is
given TN_SIGN_PKCS12 and TN_SIGN_PASS_FILE, with a throw-away certificate
made here; whether the stub of this build embeds the library signed or
unsigned, as the build was configured; and that an installer packed on
this stub, signed or not, names it by sha256sum's hash of the stub."""
import hashlib
import os
import shutil
import subprocess
import tempfile
import unittest

import signing_certificate
import tnharness

SOURCE_DIR = tnharness.SOURCE_DIR
LIBRARY = os.path.join(tnharness.BUILD_DIR, "7zTmp.dll")
TNPACK = os.path.join(tnharness.HOST_BUILD_DIR, "tnpack")


def sign(library, p12, password, time_file=None):
    times = ["-DTIME_FILE=" + time_file] if time_file else []
    return subprocess.run(
        ["cmake", "-DFILE=" + library, "-DPKCS12=" + p12, "-DPASS_FILE=" + password] + times +
        ["-P", os.path.join(SOURCE_DIR, "cmake", "SignFile.cmake")],
        capture_output=True, text=True)


class BuildSigningTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if shutil.which("osslsigncode") is None or not os.path.isfile(LIBRARY):
            raise unittest.SkipTest("osslsigncode or the archive library is missing")
        cls.folder = tempfile.mkdtemp(prefix="build-signing-")
        cls.p12, cls.password, cls.ca = signing_certificate.make(os.path.join(cls.folder, "cert"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.library = os.path.join(self.folder, "7zTmp.dll")
        shutil.copy(LIBRARY, self.library)

    def verify(self):
        return subprocess.run(["osslsigncode", "verify", "-in", self.library, "-CAfile", self.ca],
                              capture_output=True, text=True)

    def test_a_fixed_signing_time_signs_to_the_same_bytes(self):
        signing_time = os.path.join(self.folder, "time.txt")
        with open(signing_time, "w") as f:
            f.write("1700000000\n")
        signed = []
        for _ in range(2):
            shutil.copy(LIBRARY, self.library)
            done = sign(self.library, self.p12, self.password, signing_time)
            self.assertEqual(0, done.returncode, done.stdout + done.stderr)
            with open(self.library, "rb") as f:
                signed.append(f.read())
        self.assertEqual(signed[0], signed[1])
        self.assertEqual(0, self.verify().returncode)

    def test_inspection_names_the_stub_by_its_hash(self):
        if not os.path.exists(TNPACK):
            self.skipTest("tnpack is not built")
        stub = os.path.join(tnharness.BUILD_DIR, "tnsetup.exe")
        with open(stub, "rb") as f:
            expected = "  stub SHA-256:     %s\n" % hashlib.sha256(f.read()).hexdigest()
        product = os.path.join(tnharness.BUILD_DIR, "sample", "product")
        signing = ["--sign-pkcs12", self.p12, "--sign-pass-file", self.password, "--sign-ca", self.ca]
        for name, extra in (("unsigned.exe", []), ("signed.exe", signing)):
            out = os.path.join(self.folder, name)
            done = subprocess.run([TNPACK, "-q", "--stub", stub, "--product", product, "--out", out] + extra,
                                  capture_output=True, text=True)
            self.assertEqual(0, done.returncode, done.stdout + done.stderr)
            inspected = subprocess.run([TNPACK, "--inspect", out, "--sign-ca", self.ca],
                                       capture_output=True, text=True)
            self.assertEqual(0, inspected.returncode, inspected.stdout)
            self.assertIn(expected, inspected.stdout, name)

    def test_signs_the_library_in_place(self):
        done = sign(self.library, self.p12, self.password)
        self.assertEqual(0, done.returncode, done.stdout + done.stderr)
        verified = self.verify()
        self.assertEqual(0, verified.returncode, verified.stdout)
        self.assertFalse(os.path.exists(self.library + ".signed"))

    def test_a_failed_signing_leaves_no_library_to_embed(self):
        wrong = os.path.join(self.folder, "wrong.txt")
        with open(wrong, "w") as f:
            f.write("not the password\n")
        with open(self.password) as f:
            secret = f.read().strip()
        for p12, password in ((self.p12, wrong), (os.path.join(self.folder, "none.p12"), self.password)):
            shutil.copy(LIBRARY, self.library)
            done = sign(self.library, p12, password)
            self.assertNotEqual(0, done.returncode)
            self.assertFalse(os.path.exists(self.library), "an unsigned library was left to embed")
            self.assertNotIn(secret, done.stdout + done.stderr)

    def test_the_stub_embeds_the_library_as_configured(self):
        if not os.path.exists(TNPACK):
            self.skipTest("tnpack is not built")
        inspected = subprocess.run([TNPACK, "--inspect", os.path.join(tnharness.BUILD_DIR, "tnsetup.exe")],
                                   capture_output=True, text=True)
        configured = bool(os.environ.get("TN_SIGN_PKCS12"))
        expected = "archive library:  signed" if configured else "archive library:  not signed"
        self.assertIn(expected, inspected.stdout)


if __name__ == "__main__":
    unittest.main(verbosity=2)
