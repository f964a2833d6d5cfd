"""The moniker downloader (moniker-get.exe, under Wine) against a server that misbehaves: every
case ends within its bound with a defined outcome, and the outcome is the one we expect.

The expected outcomes are what the downloader gives on top of Wine's urlmon; where urlmon
itself decides (it inflates unasked codings, for one), the table says so.
"""
import concurrent.futures
import os
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from faultserver import BEHAVIOURS, EXPECTED_BODY, FaultServer  # noqa: E402
from lorvexhost import BIN, WINE, winpath  # noqa: E402

TIMEOUT_MS = 2000
SLACK = 8.0  # seconds beyond a case's own duration and the time-out: Wine starts slowly

OK, FAIL = "ok", "fail"
# path: (outcome, seconds the case takes by itself)
CASES = {
    "/ok": (OK, 0),
    "/trickle-close": (OK, 4),
    "/trickle-10": (OK, 9),
    "/trickle-chunked": (OK, 4),
    "/gzip": (OK, 0),
    "/gzip-chunked": (OK, 0),
    "/deflate-zlib": (OK, 0),
    "/deflate-raw": (OK, 0),
    "/gzip-bomb": (OK, 3),
    "/reset-before-headers": (FAIL, 0),
    "/reset-after-headers": (FAIL, 0),
    "/silent": (FAIL, 2),
    "/silent-after-headers": (FAIL, 2),
    "/404": (FAIL, 0),
    "/416": (FAIL, 0),
    "/500": (FAIL, 0),
    "/206": (FAIL, 0),
    "/redirect-loop": (FAIL, 0),
    "/redirect-refused": (FAIL, 0),
    "/bad-chunk-size": (FAIL, 0),
    "/negative-chunk-size": (FAIL, 0),
    "/huge-chunk-size": (FAIL, 0),
    "/chunk-cut-short": (FAIL, 0),
    "/endless-header": (FAIL, 0),
    "/many-headers": (FAIL, 0),
    "/bad-status-line": (FAIL, 0),
    "/length-then-close": (FAIL, 0),
    "/empty-answer": (FAIL, 0),
    "/gzip-corrupt": (FAIL, 0),
    "/gzip-truncated": (FAIL, 0),
    "/br": (FAIL, 0),
    "/x-foo": (FAIL, 0),
}


def run_moniker_get(url, out, limit):
    """Runs moniker-get.exe; returns (exit status, its report line, seconds, peak RSS)."""
    with tempfile.TemporaryFile() as report:
        start = time.monotonic()
        proc = subprocess.Popen([WINE, "moniker-get.exe", url, winpath(out), str(TIMEOUT_MS)],
                                cwd=BIN, stdin=subprocess.DEVNULL, stdout=report,
                                stderr=subprocess.DEVNULL)
        killer = threading.Timer(limit, proc.kill)
        killer.start()
        _, status, usage = os.wait4(proc.pid, 0)
        killer.cancel()
        proc.returncode = os.waitstatus_to_exitcode(status)
        seconds = time.monotonic() - start
        report.seek(0)
        return (proc.returncode, report.read().decode("latin-1").strip(), seconds,
                usage.ru_maxrss * 1024)


class MonikerFaultsTest(unittest.TestCase):
    def test_every_fault_case(self):
        if not BIN or not os.path.exists(os.path.join(BIN, "moniker-get.exe")):
            self.fail("LORVEX_BIN does not hold moniker-get.exe")
        self.assertEqual(set(CASES), set(BEHAVIOURS), "every server case has an expectation")
        with tempfile.TemporaryDirectory() as root, FaultServer() as server:
            def run(path):
                folder = os.path.join(root, path.strip("/"))
                os.mkdir(folder)
                out = os.path.join(folder, "body.bin")
                limit = CASES[path][1] + TIMEOUT_MS / 1000 + SLACK
                result = run_moniker_get(server.url(path), out, limit + 30)
                body = None
                if os.path.exists(out):
                    with open(out, "rb") as f:
                        body = f.read()
                return result + (body, limit)

            with concurrent.futures.ThreadPoolExecutor(4) as pool:
                results = dict(zip(CASES, pool.map(run, CASES)))

        print("\n%-22s %-6s %6s %8s  %s" % ("case", "exit", "secs", "RSS MB", "report"),
              file=sys.stderr)
        for path, (status, report, seconds, rss, body, _) in results.items():
            print("%-22s %-6s %6.1f %8.1f  %s%s" % (
                path, status, seconds, rss / 1e6, report,
                "" if body is None else " file=%d bytes" % len(body)), file=sys.stderr)
        for path, (outcome, _) in CASES.items():
            status, report, seconds, rss, body, limit = results[path]
            with self.subTest(path):
                self.assertLess(seconds, limit, "took %.1f s" % seconds)
                self.assertIn(status, (0, 1), "no defined outcome: %s" % report)
                self.assertEqual(status, 0 if outcome == OK else 1, report)
                if outcome == OK and path in EXPECTED_BODY:
                    self.assertEqual(body, EXPECTED_BODY[path])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
