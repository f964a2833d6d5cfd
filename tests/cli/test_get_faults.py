"""lorvex get against a server that misbehaves: every case ends in time, with the right outcome,
the right bytes or no file at all, and in bounded memory."""
import concurrent.futures
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from faultserver import BEHAVIOURS, EXPECTED_BODY, BOMB_SIZE, FaultServer, run_bounded  # noqa: E402

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")
READ_TIMEOUT_MS = 2000
SLACK = 5.0  # seconds allowed beyond a case's own duration
PEAK_RSS_LIMIT = 200 * 1024 * 1024

# path: (succeeds, seconds the case takes by itself, text the failure message holds)
CASES = {
    "/ok": (True, 0, None),
    "/trickle-close": (True, 4, None),
    "/trickle-10": (True, 9, None),
    "/trickle-chunked": (True, 4, None),
    "/gzip": (True, 0, None),
    "/gzip-chunked": (True, 0, None),
    "/deflate-zlib": (True, 0, None),
    "/deflate-raw": (True, 0, None),
    "/gzip-bomb": (True, 2, None),
    "/reset-before-headers": (False, 0, None),
    "/reset-after-headers": (False, 0, None),
    "/silent": (False, 2, b"timed out"),
    "/silent-after-headers": (False, 2, b"timed out"),
    "/404": (False, 0, b"404"),
    "/416": (False, 0, b"416"),
    "/500": (False, 0, b"500"),
    "/206": (False, 0, b"206"),
    "/redirect-loop": (False, 0, b"redirections"),
    "/redirect-refused": (False, 0, b"cannot connect"),
    "/bad-chunk-size": (False, 0, b"chunk size"),
    "/negative-chunk-size": (False, 0, b"chunk size"),
    "/huge-chunk-size": (False, 0, b"chunk size"),
    "/chunk-cut-short": (False, 0, b"cut short"),
    "/endless-header": (False, 0, b"longer than"),
    "/many-headers": (False, 0, b"header lines"),
    "/bad-status-line": (False, 0, b"status line"),
    "/length-then-close": (False, 0, b"cut short"),
    "/empty-answer": (False, 0, None),
    "/gzip-corrupt": (False, 0, b"does not decode"),
    "/gzip-truncated": (False, 0, b"does not decode"),
    "/br": (False, 0, b"Content-Encoding"),
    "/x-foo": (False, 0, b"Content-Encoding"),
}


def run_get(url, out, limit):
    """Runs lorvex get; returns (exit status, stderr, seconds, peak RSS in bytes)."""
    return run_bounded([TOOL, "get", url, "--out", out, "--read-timeout", str(READ_TIMEOUT_MS)],
                       limit)


class GetFaultsTest(unittest.TestCase):
    def test_every_fault_case(self):
        self.assertEqual(set(CASES), set(BEHAVIOURS), "every server case has an expectation")
        with tempfile.TemporaryDirectory() as root, FaultServer() as server:
            def run(path):
                folder = os.path.join(root, path.strip("/"))
                os.mkdir(folder)
                out = os.path.join(folder, "body.bin")
                limit = CASES[path][1] + SLACK
                result = run_get(server.url(path), out, limit + 10)
                files = os.listdir(folder)
                body = None
                if files == ["body.bin"]:
                    with open(out, "rb") as f:
                        body = f.read()
                return result + (files, body, limit)

            with concurrent.futures.ThreadPoolExecutor(8) as pool:
                results = dict(zip(CASES, pool.map(run, CASES)))

        worst = max(results.items(), key=lambda item: item[1][3])
        print("\npeak RSS: worst %.1f MB (%s get %s --out FILE --read-timeout %d)" %
              (worst[1][3] / 1e6, TOOL, worst[0], READ_TIMEOUT_MS), file=sys.stderr)
        for path, (succeeds, _, message) in CASES.items():
            status, stderr, seconds, rss, files, body, limit = results[path]
            with self.subTest(path):
                self.assertLess(seconds, limit, "took %.1f s" % seconds)
                self.assertLess(rss, PEAK_RSS_LIMIT)
                if succeeds:
                    self.assertEqual(status, 0, stderr)
                    self.assertEqual(files, ["body.bin"])
                    if path == "/gzip-bomb":
                        self.assertEqual(body, bytes(BOMB_SIZE))
                    else:
                        self.assertEqual(body, EXPECTED_BODY[path])
                else:
                    self.assertNotIn(status, (0, -9), stderr)
                    self.assertEqual(files, [], "nothing is left at the target")
                    if message:
                        self.assertIn(message, stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
