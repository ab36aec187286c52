"""A signed installer installs under Wine exactly as an unsigned one.

A throw-away certificate authority and a code-signing certificate in the
publisher's name are made with openssl here; tnpack packs the sample product
behind the real stub twice, unsigned and signed. The signature verifies
against that authority, tnpack --inspect reads both and catches damage, and
both installers are installed by real clicks, each in a prefix of its own,
with the same result. (Wine does not check Authenticode signatures; what this
shows is that the certificate table behind the archive does not keep the
installer from finding and extracting its payload.)
"""
import hashlib
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import signing_certificate
import tnharness
from test_shell_pages import WELCOME
from test_shell_startup import SETUP_WIN, SHOTS

TNPACK = os.path.join(tnharness.HOST_BUILD_DIR, "tnpack")
STUB = os.path.join(tnharness.BUILD_DIR, "tnsetup.exe")
PRODUCT = os.path.join(tnharness.BUILD_DIR, "sample", "product")
PUBLISHER = "塔尼斯科技有限公司"
FINISH_CLOSE = (590, 13)

state = {}


def run(*args, **kwargs):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, **kwargs)


def setUpModule():
    if not (os.path.exists(TNPACK) and os.path.isfile(os.path.join(PRODUCT, "ZEVodirodaz.exe"))):
        raise unittest.SkipTest("tnpack or the sample product is not built")
    if shutil.which("osslsigncode") is None or shutil.which("openssl") is None:
        raise unittest.SkipTest("osslsigncode or openssl is missing (scripts/setup.sh installs them)")
    scratch = os.path.join(tnharness.BUILD_DIR, "scratch")
    os.makedirs(scratch, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="signed-install-", dir=scratch)
    # In the publisher's name, as a release certificate would be.
    p12, password, ca = signing_certificate.make(os.path.join(folder, "certificate"), PUBLISHER)
    unsigned = os.path.join(folder, "unsigned", "TarnisSetup.exe")
    signed = os.path.join(folder, "signed", "TarnisSetup.exe")
    os.makedirs(os.path.dirname(unsigned))
    os.makedirs(os.path.dirname(signed))
    for out, extra in ((unsigned, []), (signed, ["--sign-pkcs12", p12, "--sign-pass-file", password,
                                                 "--sign-ca", ca])):
        packed = run(TNPACK, "--stub", STUB, "--product", PRODUCT, "--out", out, *extra)
        if packed.returncode != 0:
            raise RuntimeError("tnpack failed:\n" + packed.stdout + packed.stderr)
        state["pack_output_" + ("signed" if extra else "unsigned")] = packed.stdout + packed.stderr
    state.update(folder=folder, ca=ca, unsigned=unsigned, signed=signed)


def tearDownModule():
    if "folder" in state:
        shutil.rmtree(state["folder"], ignore_errors=True)


def file_tree(root):
    """{relative path: SHA-256} of every file under |root|."""
    tree = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                tree[os.path.relpath(path, root)] = hashlib.sha256(f.read()).hexdigest()
    return tree


class SignatureTest(unittest.TestCase):
    """The signature and what tnpack --inspect says; no Wine needed."""

    def test_signature_verifies_against_the_authority(self):
        output = state["pack_output_signed"]
        self.assertIn("signed:     yes, by /CN=" + PUBLISHER, output)
        self.assertNotIn("warning", output)  # the signer is the configured publisher
        verified = run("osslsigncode", "verify", "-in", state["signed"], "-CAfile", state["ca"])
        self.assertEqual(0, verified.returncode, verified.stdout + verified.stderr)
        unsigned = run("osslsigncode", "verify", "-in", state["unsigned"], "-CAfile", state["ca"])
        self.assertNotEqual(0, unsigned.returncode)

    def test_inspect_shows_the_product_identity_and_the_signature(self):
        inspected = run(TNPACK, "--inspect", state["signed"], "--sign-ca", state["ca"])
        self.assertEqual(0, inspected.returncode, inspected.stdout)
        text = inspected.stdout
        self.assertIn("stub:             Tarnis模拟器 0.2.0.1726 (塔尼斯科技有限公司)", text)
        self.assertIn("file version:     0.2.0.1726", text)
        self.assertIn('marker:           "TN7zOffset"', text)
        self.assertIn("tests clean with the installer's password", text)
        self.assertIn("signature:        present and valid, signed by /CN=" + PUBLISHER, text)
        self.assertIn("issued by /CN=Tarnis throw-away authority", text)
        self.assertIn("verdict: an intact installer", text)
        inspected = run(TNPACK, "--inspect", state["unsigned"])
        self.assertEqual(0, inspected.returncode, inspected.stdout)
        self.assertIn("signature:        none (not signed)", inspected.stdout)

    def test_inspect_reports_damaged_and_foreign_files(self):
        with open(state["signed"], "rb") as f:
            data = f.read()
        folder = os.path.dirname(state["signed"])
        # One byte of the archive's data, behind the trailer at 2 MiB.
        at = 2 * 1024 * 1024 + 100 + 1000
        cases = {
            "flipped.exe": (data[:at] + bytes([data[at] ^ 1]) + data[at + 1:], "INVALID"),
            "truncated.exe": (data[:len(data) // 2], "DAMAGED"),
            "notes.exe": (b"these are notes, not an installer\n", "not a Windows executable"),
        }
        for name, (content, expected) in cases.items():
            path = os.path.join(folder, name)
            with open(path, "wb") as f:
                f.write(content)
            inspected = run(TNPACK, "--inspect", path, "--sign-ca", state["ca"])
            self.assertEqual(1, inspected.returncode, name + "\n" + inspected.stdout)
            self.assertIn(expected, inspected.stdout, name)


class SignedInstallTest(tnharness.WineTestCase):
    def install(self, prefix, display, auto, setup_exe, shot):
        """Installs |setup_exe| from the welcome page to the finish page and
        returns the installed tree."""
        downloads = prefix.drive_c("Downloads")
        os.makedirs(downloads, exist_ok=True)
        shutil.copy(setup_exe, os.path.join(downloads, "TarnisSetup.exe"))
        install_dir = prefix.drive_c("Program Files (x86)", "ZEVodirodaz")
        proc = auto.start(SETUP_WIN, extra_env={"TN_VMWARE_SETUP_MS": "200"})
        window = auto.find_window(title="TNInstall", cls="UI_HomePage", timeout=40)
        self.assertIsNotNone(window, shot)
        time.sleep(1)
        display.screenshot(os.path.join(SHOTS, shot + "_welcome.png"))
        auto.click(window, *WELCOME["btn_install"])
        auto.hover(window, 300, 100)

        why = auto.wait_page(window, "finish", 150, proc=proc,
                             screenshot=os.path.join(SHOTS, shot + "_finish.png"))
        self.assertIsNone(why, "%s: %s" % (shot, why))
        time.sleep(0.5)
        auto.click(window, *FINISH_CLOSE)
        self.assertEqual(0, proc.wait(30), shot)
        self.assertFalse(os.path.exists(prefix.drive_c("tnextract")), shot + ": work directory left")
        return file_tree(install_dir)

    def test_signed_installer_installs_exactly_as_the_unsigned_one(self):
        unsigned = self.install(self.prefix, self.display, self.auto, state["unsigned"], "unsigned")
        with tnharness.Display() as display, tnharness.Prefix(self.bits) as prefix:
            signed = self.install(prefix, display, tnharness.WinAuto(prefix, display),
                                  state["signed"], "signed")
        product = file_tree(PRODUCT)
        for name, digest in product.items():
            if name == "VMware14.exe":
                # The hypervisor's setup ran (no VMware 14 in the prefix) and
                # was removed afterwards.
                self.assertNotIn(name, unsigned)
                continue
            self.assertEqual(digest, unsigned.get(name), name)
        self.assertEqual(unsigned, signed)


if __name__ == "__main__":
    unittest.main(verbosity=2)
