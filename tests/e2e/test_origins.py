"""Where the library's import may reach, through lorvex-host under Wine, where the moniker
reads file:, mhtml: and res: addresses for real: a web document names only the web, whatever
page linked it. The user's disk is a scratch folder with a marker file; nothing of it may be
packed or copied into the work folder, and each address that names it is listed."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import originsite  # noqa: E402
from lorvexhost import HostTestCase, run_host, winpath, zip_entries  # noqa: E402

# Each run is bounded: Wine's start, a few local transfers and one refused connection.
RUN_SECONDS = 120


class Origins(HostTestCase):
    def setUp(self):
        super().setUp()
        self.disk = originsite.Disk(self.path("disk"))
        self.work = self.path("work")
        os.mkdir(self.work)

    def check_nothing_local(self, entries):
        self.assertEqual([name for name, data in entries.items() if originsite.MARKER in data], [])
        self.assertEqual(originsite.files_holding(self.work, originsite.MARKER), [])

    def test_a_sheet_from_the_web_linked_by_a_page_on_disk(self):
        with originsite.SheetServer(self.disk) as web:
            page = self.disk.write_index(web.base_url)
            out = self.path("1.zip")
            status, stdout, stderr = run_host(
                "run", "--index", "0", "--file", winpath(page), "--work", winpath(self.work),
                "--doc", "1", "--complete", "--on-errors", "ok", "--out", winpath(out),
                timeout=RUN_SECONDS)
            self.assertEqual(status, 0, stderr)
            failed = ["failed " + url for url in self.disk.sheet_failures(web.base_url)]
            self.assertEqual(stdout.splitlines(), failed + ["result=true ispage=true"])
            entries = zip_entries(out)
            self.check_nothing_local(entries)
            self.assertEqual(entries["1.files/own.gif"], originsite.OWN_PICTURE)
            self.assertEqual(entries["1.files/ok.png"], originsite.OK_PICTURE)
            self.assertEqual(entries["1.files/sheet.css"], self.disk.saved_sheet())

    def test_a_page_from_the_web_names_an_archive_on_disk(self):
        with originsite.SheetServer(self.disk) as web:
            html = self.write("archive.source", self.disk.archive_page())
            out = self.path("2.zip")
            status, stdout, stderr = run_host(
                "loadhtml", "--html-file", winpath(html), "--location",
                web.base_url + "archive.htm", "--work", winpath(self.work), "--doc", "2",
                "--quiet", "--on-errors", "ok", "--out", winpath(out), timeout=RUN_SECONDS)
            self.assertEqual(status, 0, stderr)
            failed = ["failed " + url for url in self.disk.archive_failures()]
            self.assertEqual(stdout.splitlines(), failed + ["result=true"])
            self.check_nothing_local(zip_entries(out))


if __name__ == "__main__":
    unittest.main()
