"""Where the native tool's import may reach: a web document names only the web, whatever
page linked it, and sheets that name ever deeper sheets end at the deepest level. Served on
127.0.0.1; the user's disk is a scratch folder with a marker file."""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import originsite  # noqa: E402

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")


def run(*args):
    done = subprocess.run([TOOL, "import", *args], capture_output=True, stdin=subprocess.DEVNULL,
                          timeout=120)
    return done.returncode, done.stdout, done.stderr.decode("latin-1")


def not_fetched(stderr):
    return [line.split("not fetched: ", 1)[1].rsplit(" -> ", 1)[0]
            for line in stderr.splitlines() if "not fetched: " in line]


class Origins(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.disk = originsite.Disk(os.path.join(self.dir.name, "disk"))
        self.work = os.path.join(self.dir.name, "work")

    def read(self, name):
        with open(os.path.join(self.work, *name.split("/")), "rb") as f:
            return f.read()

    def test_a_sheet_from_the_web_linked_by_a_page_on_disk(self):
        with originsite.SheetServer(self.disk) as web:
            page = self.disk.write_index(web.base_url)
            status, _, err = run(page, "--work", self.work, "--doc", "1", "--complete")
            self.assertEqual(status, 3, err)
            self.assertEqual(not_fetched(err), self.disk.sheet_failures(web.base_url))
            self.assertEqual(originsite.files_holding(self.work, originsite.MARKER), [])
            # The page's own picture is copied; the sheet keeps what it may not reach.
            self.assertEqual(self.read("1.files/own.gif"), originsite.OWN_PICTURE)
            self.assertEqual(self.read("1.files/ok.png"), originsite.OK_PICTURE)
            self.assertEqual(self.read("1.files/sheet.css"), self.disk.saved_sheet())

    def test_sheets_without_end_stop_at_the_deepest_level(self):
        with originsite.SheetServer(self.disk) as web:
            status, _, err = run(web.base_url + "chain.htm", "--work", self.work, "--doc", "2",
                                 "--complete")
            self.assertEqual((status, err), (0, ""))
            self.assertEqual(sorted(web.requests), sorted(originsite.chain_requests()))


if __name__ == "__main__":
    unittest.main()
