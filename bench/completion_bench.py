#!/usr/bin/env python3
"""How long the installing page's completion sequence takes under Wine:
from its first trace line (extraction done, registration starts) to the
trace line after the finish page was shown, as the installer's own debug
output times them. Each run is a whole installation of the sample product
by clicks in a fresh prefix with VMware Workstation 14 registered, so no
hypervisor setup lies in between.

usage: completion_bench.py [RUNS]     (default 5; prints every run and the median)
Needs the build trees (scripts/build.sh); not run by ctest.
"""
import os
import statistics
import sys
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
os.environ.setdefault("TN_SOURCE_DIR", ROOT)
os.environ.setdefault("TN_BUILD_DIR", os.path.join(ROOT, "build", "win32"))
os.environ.setdefault("TN_HOST_BUILD_DIR", os.path.join(ROOT, "build", "host"))
sys.path[:0] = [os.path.join(ROOT, "tests", "harness"), os.path.join(ROOT, "tests", "e2e")]

import tnharness  # noqa: E402
from install_session import PackedInstallerTestCase, pack  # noqa: E402

SECONDS = []


class CompletionRun(PackedInstallerTestCase):
    scratch_prefix = "completion-bench-"

    @classmethod
    def pack_installers(cls):
        cls.setup_exe = pack(os.path.join(cls.scratch, "TarnisSetup.exe"))

    def test_install(self):
        self.register_hypervisor("14.1.1")
        os.makedirs(self.win_to_host(self.folder(0x1A) + r"\Microsoft\Internet Explorer\Quick Launch"),
                    exist_ok=True)
        self.open_installer(self.setup_exe)
        self.install_from_welcome()
        self.wait_finish("bench_completion_finish")
        seconds = self.completion_seconds()
        self.assertIsNotNone(seconds, "no trace of the completion sequence")
        SECONDS.append(seconds)
        self.close_from_finish()


def main(argv):
    runs = int(argv[1]) if len(argv) > 1 else 5
    tnharness.prepare_templates()
    suite = unittest.TestSuite(CompletionRun("test_install") for _ in range(runs))
    result = unittest.TextTestRunner(verbosity=1).run(suite)
    if SECONDS:
        print("completion sequence under Wine, %d runs: %s s" %
              (len(SECONDS), ", ".join("%.3f" % s for s in SECONDS)))
        print("median: %.3f s" % statistics.median(SECONDS))
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
