"""The https cases of the native tool's tests, run against the Windows build of the same
command under Wine: the HTTP client over Schannel, the test authority trusted in the test
prefix's root store for the time of the run."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "cli"))
import test_get_tls  # noqa: E402
from lorvexhost import BIN, WINE, winpath  # noqa: E402

HTTP_GET = os.path.join(BIN, "http-get.exe")


class HttpsGetUnderWine(test_get_tls.HttpsGet):
    command = [WINE, HTTP_GET]
    # The page import is the native tool's; the DLL's imports have their own tests.
    test_a_page_import_keeps_one_connection = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.trust("--trust-root")

    @classmethod
    def tearDownClass(cls):
        cls.trust("--untrust-root")
        super().tearDownClass()

    @classmethod
    def trust(cls, how):
        import subprocess
        done = subprocess.run([WINE, HTTP_GET, how, winpath(cls.authority.ca_pem)],
                              capture_output=True, timeout=120)
        if done.returncode != 0:
            raise AssertionError("%s failed: %s" % (how, done.stderr.decode(errors="replace")))

    def out_path(self, path):
        return winpath(path)



if __name__ == "__main__":
    unittest.main()
