"""The moniker downloader (moniker-get.exe, under Wine) against a server that misbehaves: every
case ends within its bound with a defined outcome, and the outcome is the one we expect.

The expected outcomes are what the downloader gives on top of Wine's urlmon; where urlmon
itself decides (it inflates unasked codings, for one), the table says so.
"""
import concurrent.futures
import os
import signal
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from faultserver import BEHAVIOURS, BOMB_SIZE, EXPECTED_BODY, FaultServer, run_bounded  # noqa: E402
from lorvexhost import BIN, WINE, winpath  # noqa: E402

TIMEOUT_MS = 2000
SLACK = 8.0  # seconds beyond a case's own duration and the time-out: Wine starts slowly

OK, FAIL = "ok", "fail"
# path: (outcome, seconds the case takes by itself). Where urlmon decides, the outcome is what
# Wine's urlmon gives:
# - it holds a body's first bytes back until it can sniff their type or the body ends, and
#   reports nothing meanwhile, so a trickle looks like silence and TimeOut ends it;
# - it inflates gzip and raw deflate itself, but fails zlib-wrapped deflate;
# - it ends broken chunking, a short body, an over-long header line, a missing status line
#   and unknown codings with success and what it received.
# - a reset before any answer ends now with a failure, now with success and nothing.
# The downloader itself refuses a 206 that no range asked for, and fails a body shorter than
# its Content-Length and an end without an answer or data; a chunked or coded body it cannot
# hold to a length.
CASES = {
    "/ok": (OK, 0),
    "/trickle-close": (FAIL, 0),
    "/trickle-10": (FAIL, 0),
    "/trickle-chunked": (FAIL, 0),
    "/gzip": (OK, 0),
    "/gzip-chunked": (OK, 0),
    "/deflate-zlib": (FAIL, 0),
    "/deflate-raw": (OK, 0),
    "/gzip-bomb": (OK, 3),
    "/reset-before-headers": (FAIL, 0),
    "/reset-after-headers": (FAIL, 0),
    "/silent": (FAIL, 0),
    "/silent-after-headers": (FAIL, 0),
    "/404": (FAIL, 0),
    "/416": (FAIL, 0),
    "/500": (FAIL, 0),
    "/206": (FAIL, 0),
    "/redirect-loop": (FAIL, 0),
    "/redirect-refused": (FAIL, 0),
    "/bad-chunk-size": (OK, 0),
    "/negative-chunk-size": (OK, 0),
    "/huge-chunk-size": (OK, 0),
    "/chunk-cut-short": (OK, 0),
    "/endless-header": (OK, 0),
    "/bad-status-line": (OK, 0),
    "/length-then-close": (FAIL, 0),
    "/empty-answer": (FAIL, 0),
    "/gzip-corrupt": (FAIL, 0),
    "/gzip-truncated": (OK, 0),
    "/br": (OK, 0),
    "/x-foo": (OK, 0),
}
# Not run: Wine's urlmon joins the answer's header lines one by one on the thread that binds
# (quadratic: 20,000 lines take 24 s, 100,000 some minutes), inside a message it dispatches,
# so no time-out of ours can fire meanwhile.
NOT_RUN = {"/many-headers"}


def run_moniker_get(url, out, limit):
    """Runs moniker-get.exe; returns (exit status, its report line, seconds, peak RSS, reruns).

    Wine 8 now and then dies of SIGSEGV on its own Unix side while it ends a process whose
    network threads are still winding down (about one run in 150, with or without a display),
    after our program has printed its report and returned. Such a run is repeated, twice at
    most: a crash of the program itself is a Windows exception and ends with its own status,
    and a hang is killed with SIGKILL, so neither is repeated."""
    for reruns in range(3):
        if os.path.exists(out):
            os.remove(out)
        status, report, seconds, peak = run_bounded(
            [WINE, "moniker-get.exe", url, winpath(out), str(TIMEOUT_MS)], limit, "stdout", BIN)
        report = report.decode("latin-1").strip()
        if status != -signal.SIGSEGV or not report.startswith("wait="):
            break
    return status, report, seconds, peak, reruns


class MonikerFaultsTest(unittest.TestCase):
    def test_every_fault_case(self):
        if not BIN or not os.path.exists(os.path.join(BIN, "moniker-get.exe")):
            self.fail("LORVEX_BIN does not hold moniker-get.exe")
        self.assertEqual(set(CASES) | NOT_RUN, set(BEHAVIOURS), "every case has an expectation")
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
        for path, (status, report, seconds, rss, reruns, body, _) in results.items():
            print("%-22s %-6s %6.1f %8.1f  %s%s%s" % (
                path, status, seconds, rss / 1e6, report,
                "" if body is None else " file=%d bytes" % len(body),
                " (Wine crashed on exit; runs repeated: %d)" % reruns if reruns else ""),
                file=sys.stderr)
        for path, (outcome, _) in CASES.items():
            status, report, seconds, rss, _, body, limit = results[path]
            with self.subTest(path):
                self.assertLess(seconds, limit, "took %.1f s" % seconds)
                self.assertIn(status, (0, 1), "no defined outcome: %s" % report)
                self.assertEqual(status, 0 if outcome == OK else 1, report)
                if status == 0 and path in EXPECTED_BODY:
                    self.assertEqual(body, EXPECTED_BODY[path])
                if status == 0 and path == "/gzip-bomb":
                    self.assertEqual(len(body), BOMB_SIZE)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
