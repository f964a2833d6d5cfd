"""Extension 0 end to end: the page site imported through lorvex-host under Wine, from disk
(initalize, index 0) and from the web (loadhtmltostream, quiet and with the progress dialog),
the packed document checked byte for byte, the list of failures answered as a user would,
and the unpacked page opened in a real browser."""
import math
import os
import subprocess
import sys
import time
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import browser  # noqa: E402
import faultsite  # noqa: E402
import modernsite  # noqa: E402
import pagesite  # noqa: E402
from lorvexhost import BIN, HostTestCase, run_host, winpath, zip_entries  # noqa: E402

SCREENSHOTS = os.path.join(os.path.dirname(os.path.abspath(BIN or ".")), "screenshots",
                           "page-import")


def entries_of(layout):
    """The archive entries an expected layout gives: its files (folders are not stored)."""
    return {name: source for name, source in layout.items() if not name.endswith("/")}


class PageImport(HostTestCase):
    def setUp(self):
        super().setUp()
        self.site = self.path("site")
        self.files = pagesite.write_site(self.site)
        self.work = self.path("work")
        os.mkdir(self.work)
        self.server = pagesite.SiteServer(self.site)
        self.base = self.server.start()
        self.addCleanup(self.server.stop)

    def load_html(self, page, doc, *options):
        """loadhtmltostream on the served page; returns (result line, failure lines, entries)."""
        html = self.write("%s.source" % doc, self.files[page])
        out = self.path("%s.zip" % doc)
        status, stdout, stderr = run_host(
            "loadhtml", "--html-file", winpath(html), "--location", self.base + page,
            "--work", winpath(self.work), "--doc", str(doc), "--out", winpath(out), *options)
        self.assertEqual(status, 0, stderr)
        lines = stdout.splitlines()
        return lines[-1], lines[:-1], zip_entries(out)

    def check_document(self, entries, doc, served, anchor):
        expected = entries_of(pagesite.expected_layout(doc, served))
        self.assertEqual(set(entries), set(expected))
        for name, source in expected.items():
            if source:
                self.assertEqual(entries[name], self.files[source], name)
        d = "%d.files/" % doc
        self.assertEqual(entries["%d.htm" % doc], pagesite.rewritten_index(doc, anchor))
        self.assertEqual(entries[d + "menu.js"], self.files["menu.js"].replace(
            b'"menu.gif"', b'"%d.files/menu.gif"' % doc))
        self.assertEqual(entries[d + "inline.htm"], self.files["inline.htm"].replace(
            b'"inline.gif"', b'"inline.files/inline.gif"'))

    def test_local_site_through_initalize(self):
        page = os.path.join(self.site, "index.htm")
        out = self.path("local.zip")
        status, stdout, stderr = run_host("run", "--index", "0", "--file", winpath(page),
                                          "--work", winpath(self.work), "--doc", "7",
                                          "--out", winpath(out))
        self.assertEqual((status, stdout), (0, "result=true ispage=true\n"), stderr)
        # Resources that do not exist on disk are not copied and not listed; nothing is fetched.
        self.check_document(zip_entries(out), 7, False, winpath(self.site) + "\\about.htm")
        self.assertEqual(self.server.requests, [])

    def test_web_site_and_the_list_of_failures(self):
        failed = ["failed %smissing.gif" % self.base]
        cases = [  # answer, result, lines printed, missing.gif on disk afterwards
            ("ok", "result=true", failed, False),
            ("stop", "result=false", failed, False),
            ("retry", "result=true", failed, True),
        ]
        for doc, (answer, result, printed, retried) in enumerate(cases, start=1):
            with self.subTest(answer=answer):
                # Refused to both engines during the import, served on retry.
                self.server.serve_missing_after = 1 if retried else None
                line, lines, entries = self.load_html("index.htm", doc, "--quiet",
                                                      "--on-errors", answer)
                self.assertEqual((line, lines), (result, printed))
                # The document was packed before the list was shown, Stop or not.
                self.check_document(entries, doc, True, self.base + "about.htm")
                missing = os.path.join(self.work, "%d.files" % doc, "missing.gif")
                self.assertEqual(os.path.exists(missing), retried)
                if retried:
                    with open(missing, "rb") as f:
                        self.assertEqual(f.read(), pagesite.gif(*pagesite.GIF_SIZES["missing.gif"]))

    def test_progress_dialog_shown(self):
        shots = self.path("shots")
        line, lines, entries = self.load_html("index.htm", 3, "--screenshot-dir", winpath(shots),
                                              "--font", "SimSun", "--font-charset", "134")
        self.assertEqual((line, lines), ("result=true", ["failed %smissing.gif" % self.base]))
        self.check_document(entries, 3, True, self.base + "about.htm")
        kinds = sorted(name.split("-")[0] for name in os.listdir(shots))
        self.assertEqual(kinds, ["errors", "progress"])
        os.makedirs(SCREENSHOTS, exist_ok=True)
        for name in os.listdir(shots):
            subprocess.run(["convert", os.path.join(shots, name),
                            os.path.join(SCREENSHOTS, os.path.splitext(name)[0] + ".png")],
                           check=False, timeout=60)

    def test_local_page_through_loadhtml_with_the_dialog_shown(self):
        html = self.write("local.source", self.files["index.htm"])
        out = self.path("local.zip")
        status, stdout, stderr = run_host(
            "loadhtml", "--html-file", winpath(html), "--location", winpath(self.site) + "\\",
            "--work", winpath(self.work), "--doc", "8", "--out", winpath(out))
        self.assertEqual((status, stdout), (0, "result=true\n"), stderr)
        self.check_document(zip_entries(out), 8, False, winpath(self.site) + "\\about.htm")
        self.assertEqual(self.server.requests, [])

    def test_stalled_server_in_quiet_mode_ends_within_the_bound(self):
        started = time.monotonic()
        line, lines, entries = self.load_html("stalled.htm", 4, "--quiet", "--read-timeout",
                                              "2000")
        # Two engines, each bounded by the read time-out, and the time Wine takes to start.
        self.assertLess(time.monotonic() - started, 60)
        self.assertEqual((line, lines), ("result=true", ["failed %sstall.gif" % self.base]))
        self.assertEqual(set(entries), {"4.htm", "4.files/photo.gif"})


class Faults(HostTestCase):
    def test_faults_end_within_the_read_timeout_per_free_connection(self):
        """Quiet, on a server that stalls texts and pictures, stalls after headers, resets
        and refuses: the import ends within the read time-out × ⌈K ÷ (connections − 1)⌉ +
        5 s (plus Wine's start), every healthy picture packed and every fault listed. Each
        stalled resource is two stalled transfers in a row: the moniker's, then HTTP's."""
        started = time.monotonic()
        run_host("list")
        wine_start = time.monotonic() - started
        read_timeout = 2.0
        for connections in (6, 3):
            with self.subTest(connections=connections), faultsite.FaultServer() as server:
                work = self.path("work%d" % connections)
                os.mkdir(work)
                html = self.write("faults%d.source" % connections, server.page())
                out = self.path("faults%d.zip" % connections)
                started = time.monotonic()
                status, stdout, stderr = run_host(
                    "loadhtml", "--html-file", winpath(html), "--location",
                    server.base + faultsite.PAGE, "--work", winpath(work), "--doc", "2",
                    "--quiet", "--read-timeout", str(int(read_timeout * 1000)),
                    "--connections", str(connections), "--out", winpath(out))
                took = time.monotonic() - started
                stalled = 2 * len(faultsite.STALLED)
                self.assertLess(took, wine_start + read_timeout * math.ceil(
                    stalled / (connections - 1)) + 5)
                self.assertEqual(status, 0, stderr)
                lines = stdout.splitlines()
                self.assertEqual(lines[-1], "result=true")
                self.assertEqual(sorted(line.split(" ", 1)[1] for line in lines[:-1]),
                                 server.failed_urls())
                entries = zip_entries(out)
                for name, data in faultsite.saved_pictures(2).items():
                    self.assertEqual(entries.get(name), data, name)
                self.assertEqual([n for n in os.listdir(work) if n.startswith("2.fetching")],
                                 [])

    def test_skip_on_each_stalled_resource_with_the_dialog_shown(self):
        """With the progress dialog up nothing bounds a wait: the host presses Skip whenever
        the bar stands still for 1.5 s, as a person would. Each stalled resource takes two
        presses (the moniker, then its HTTP fallback), the last of which ends it within a
        second, and the import completes. (The bar stands at its end while the texts are
        fetched, so the presses on the two stalled texts are reported together, when the
        error list comes.)"""
        with faultsite.FaultServer() as server:
            work = self.path("work")
            os.mkdir(work)
            html = self.write("faults.source", server.page())
            out = self.path("faults.zip")
            status, stdout, stderr = run_host(
                "loadhtml", "--html-file", winpath(html), "--location",
                server.base + faultsite.PAGE, "--work", winpath(work), "--doc", "3",
                "--skip-stalled", "1500", "--out", winpath(out))
            self.assertEqual(status, 0, stderr)
            lines = stdout.splitlines()
            self.assertEqual(lines[-1], "result=true")
            skips = [tuple(map(int, line.split()[1:])) for line in lines
                     if line.startswith("skipped ")]
            self.assertEqual(sum(presses for presses, _ in skips), 2 * len(faultsite.STALLED))
            self.assertLess(max(ms for _, ms in skips), 1000)
            self.assertEqual(sorted(line.split(" ", 1)[1] for line in lines
                                    if line.startswith("failed ")), server.failed_urls())
            entries = zip_entries(out)
            for name, data in faultsite.saved_pictures(3).items():
                self.assertEqual(entries.get(name), data, name)
            self.assertEqual([n for n in os.listdir(work) if n.startswith("3.fetching")], [])


class LinkForms(HostTestCase):
    """The forms of reference that real pages use (pagesite.FORMS_HTM), packed byte for byte
    as the native tool writes them."""

    def test_each_form_packed_byte_for_byte(self):
        site = self.path("site")
        files = pagesite.write_site(site)
        with pagesite.SiteServer(site) as cdn, pagesite.SiteServer(site) as server:
            html = self.write("forms.source", pagesite.forms_page(cdn.base_url))
            out = self.path("9.zip")
            base = server.base_url
            status, stdout, stderr = run_host(
                "loadhtml", "--html-file", winpath(html), "--location", base + "forms.htm",
                "--work", winpath(self.path("work")), "--doc", "9", "--quiet",
                "--out", winpath(out))
        self.assertEqual(status, 0, stderr)
        self.assertEqual(stdout.splitlines(), ["failed %sgone.htm" % base, "result=true"])
        entries = zip_entries(out)
        layout = pagesite.forms_layout(9)
        self.assertEqual(set(entries), {"9.htm", *layout})
        for name, source in layout.items():
            self.assertEqual(entries[name], files[source], name)
        self.assertEqual(entries["9.htm"], pagesite.rewritten_forms(9, base))


class CompletePages(HostTestCase):
    """The complete-page mode through the reference host's --complete: the DLL (moniker first,
    HTTP as the fallback) packs exactly the files the native tool writes for the same page,
    and the setting lasts for the one run only."""

    NATIVE_TOOL = os.environ.get("LORVEX_TOOL") or os.path.join(
        os.path.dirname(os.path.abspath(BIN or ".")), "..", "native", "lorvex")

    def native_folder(self, url, doc, status=0):
        """What the native tool saves; status 3 when resources are not fetched."""
        work = self.path("native-%d" % doc)
        done = subprocess.run([self.NATIVE_TOOL, "import", url, "--work", work, "--doc", str(doc),
                               "--complete"], capture_output=True, timeout=120)
        self.assertEqual(done.returncode, status, done.stderr)
        files = {}
        for name in pagesite.listing(work):
            if not name.endswith("/"):
                with open(os.path.join(work, *name.split("/")), "rb") as f:
                    files[name] = f.read()
        return files

    def test_page_site_as_the_native_tool_writes_it(self):
        # Frames, a script and a style sheet whose picture only it names, a missing picture.
        site = self.path("pages")
        files = pagesite.write_site(site)
        with pagesite.SiteServer(site) as server:
            url = server.base_url + "index.htm"
            html = self.write("index.source", files["index.htm"])
            out = self.path("pages.zip")
            status, stdout, _ = run_host(
                "loadhtml", "--html-file", winpath(html), "--location", url, "--work",
                winpath(self.path("work-pages")), "--doc", "5", "--quiet", "--complete",
                "--out", winpath(out))
            self.assertEqual((status, stdout), (0, "failed %smissing.gif\nresult=true\n" % url[:-9]))
            entries = zip_entries(out)
            native = self.native_folder(url, 5, status=3)
        self.assertEqual(set(entries), set(native))
        self.assertIn("5.files/bg.gif", native)
        for name, data in native.items():
            self.assertEqual(entries[name], data, name)

    def test_modern_site_as_the_native_tool_writes_it(self):
        site = self.path("modern")
        with pagesite.SiteServer(site) as cdn, pagesite.SiteServer(site) as server:
            files = modernsite.write_site(site, cdn.base_url)
            url = server.base_url + "index.htm"
            html = self.write("index.source", files["index.htm"])
            runs = {}
            for mode in ("--complete", None):
                out = self.path("%s.zip" % (mode or "default"))
                status, stdout, stderr = run_host(
                    "loadhtml", "--html-file", winpath(html), "--location", url, "--work",
                    winpath(self.path("work-%s" % (mode or "default"))), "--doc", "4", "--quiet",
                    "--out", winpath(out), *([mode] if mode else []))
                self.assertEqual((status, stdout), (0, "result=true\n"), stderr)
                runs[mode] = zip_entries(out)
            native = self.native_folder(url, 4)
        self.assertEqual(set(runs["--complete"]), set(native))
        for name, data in native.items():
            self.assertEqual(runs["--complete"][name], data, name)
        # The run without --complete is the default mode: no sheet's font.
        self.assertNotIn("4.files/site.woff2", runs[None])
        self.assertIn("4.files/site.css", runs[None])


    def test_names_written_as_urls(self):
        """A name outside ASCII is written as UTF-8, percent-encoded from the ANSI code page it
        is saved in; blanks and the marks a URL cannot hold are encoded too, as natively."""
        from test_mht import ansi_code_page
        site = self.path("names")
        os.makedirs(site)
        # The test server looks the request's path up as it stands.
        pictures = {b"caf%E9.png": pagesite.gif(3, 2, (1, 1, 1)),
                    b"my%20pic.png": pagesite.gif(5, 2, (2, 2, 2))}
        for name, data in pictures.items():
            with open(os.path.join(site.encode(), name), "wb") as f:
                f.write(data)
        page = b'<img src="caf%E9.png"><img srcset="my%20pic.png 1x">'
        with open(os.path.join(site, "n.htm"), "wb") as f:
            f.write(page)
        with pagesite.SiteServer(site) as server:
            html = self.write("names.source", page)
            out = self.path("names.zip")
            status, stdout, stderr = run_host(
                "loadhtml", "--html-file", winpath(html), "--location", server.base_url + "n.htm",
                "--work", winpath(self.path("work-names")), "--doc", "6", "--quiet", "--complete",
                "--out", winpath(out))
            native = self.native_folder(server.base_url + "n.htm", 6)
        self.assertEqual(status, 0, stderr)
        saved = zip_entries(out)["6.htm"]
        utf8 = b"\xe9".decode(ansi_code_page()).encode("utf-8")
        encoded = b"".join(b"%%%02X" % byte for byte in utf8)
        self.assertEqual(saved, b'<img src="6.files/caf' + encoded + b'.png">'
                         b'<img srcset="6.files/my%20pic.png 1x">\r\n')
        self.assertEqual(native["6.htm"], b'<img src="6.files/caf%E9.png">'
                         b'<img srcset="6.files/my%20pic.png 1x">\r\n')


class PageInBrowser(HostTestCase):
    """The imported page as a browser shows it: everything it names in its tags loads from
    the unpacked document, and nothing is requested from the network."""

    def import_and_unpack(self, page, doc):
        site = self.path("site")
        files = pagesite.write_site(site)
        with pagesite.SiteServer(site) as server:
            server.serve_missing = True
            html = self.write("page.source", files[page])
            out = self.path("%d.zip" % doc)
            status, stdout, stderr = run_host(
                "loadhtml", "--html-file", winpath(html), "--location", server.base_url + page,
                "--work", winpath(self.path("work")), "--doc", str(doc), "--quiet",
                "--out", winpath(out))
        self.assertEqual((status, stdout), (0, "result=true\n"), stderr)
        unpacked = self.path("unpacked")
        with zipfile.ZipFile(out) as archive:
            archive.extractall(unpacked)
        return os.path.join(unpacked, "%d.htm" % doc)

    def test_index_page(self):
        page = self.import_and_unpack("index.htm", 5)
        seen = browser.inspect(page)
        self.assertEqual(seen["requests"], [])
        # Every image of the page's tags, and the one its script writes, from the document.
        self.assertEqual(sorted(src for src, _ in seen["images"]), sorted(
            "5.files/" + name for name in ["logo.gif", "logo[2].gif", "photo.gif", "missing.gif",
                                           "moved.gif", "slow.gif", "menu.gif"]))
        for src, width in seen["images"]:
            self.assertGreater(width, 0, src)
        self.assertEqual(len(seen["sheets"]), 1)
        self.assertTrue(seen["sheets"][0][0].endswith("/5.files/style.css"))
        self.assertEqual(seen["sheets"][0][1], 2)
        [frame] = seen["frames"]
        self.assertTrue(frame["url"].endswith("/5.files/inline.htm"), frame)
        self.assertEqual(frame["images"], [["inline.files/inline.gif", 20]])
        self.assertTrue(browser.screenshot(page, os.path.join(SCREENSHOTS, "index-page.png")))

    def test_frameset_page(self):
        page = self.import_and_unpack("frameset.htm", 6)
        seen = browser.inspect(page)
        self.assertEqual(seen["requests"], [])
        self.assertEqual([(f["src"], f["url"].rsplit("/", 2)[-2:], f["images"])
                          for f in seen["frames"]],
                         [("6.files/left.htm", ["6.files", "left.htm"],
                           [["left.files/left.gif", 10]]),
                          ("6.files/right.htm", ["6.files", "right.htm"],
                           [["right.files/right.gif", 12]])])
        self.assertTrue(browser.screenshot(page, os.path.join(SCREENSHOTS, "frameset-page.png")))


if __name__ == "__main__":
    unittest.main()
