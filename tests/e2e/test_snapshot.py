"""Pages saved as the browser rendered them, through the reference host's --snapshot: a page
built by its module script, rendered by Debian's Chromium, handed over with loadhtmltostream
and packed without the scripts that would run again in the copy, with the files the native
tool writes for the same page; the setting lasting one run. A file imported through initalize
rendered by the browser the Browser setting names (Debian's Chromium, started from under Wine)
into the files the native tool writes for it; where no browser is found, or the one named ends
at once, the file saved as complete pages are, scripts kept, and the trace saying so."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import pagesite  # noqa: E402
from lorvexhost import BIN, HostTestCase, run_host, winpath, zip_entries  # noqa: E402

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
# The folder a browser started from under Wine keeps its profile in (the host's TMPDIR).
HOST_TMP = os.environ.get("TMPDIR") or "/tmp"
NATIVE_TOOL = os.environ.get("LORVEX_TOOL") or os.path.join(
    os.path.dirname(os.path.abspath(BIN or ".")), "..", "native", "lorvex")

INDEX = (b"<!DOCTYPE html><html><head><title>Harbour</title>\n"
         b'<link rel="modulepreload" href="app.js">\n'
         b'<script type="module" src="app.js"></script>\n'
         b'<script type="application/ld+json">{"name": "harbour"}</script>\n'
         b'</head><body><div id="root"></div>\n'
         b"<noscript><p>This page needs scripts.</p></noscript>\n"
         b"</body></html>\n")
# The view is the script's: a heading with a handler, a picture named only here, a link that
# runs code. Running it again on its own result gives the same page.
APP = (b"document.getElementById('root').innerHTML = '<h1 onclick=\"alert(1)\">Built by the "
       b"script</h1><img src=\"photo.gif\" width=\"40\"><a href=\"javascript:void(0)\">menu</a>';\n")


# The same page for a file: a classic script, which a browser runs from the disk too.
FILE_PAGE = INDEX.replace(b'<script type="module" src="app.js">', b'<script src="app.js" defer>')


def render(url):
    """The document as Chromium rendered it (its DOM, serialized)."""
    profile = tempfile.mkdtemp(prefix="lorvex-render-")
    try:
        done = subprocess.run(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--user-data-dir=" + profile, "--virtual-time-budget=3000", "--dump-dom", url],
            stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    # --dump-dom puts the doctype on a line of its own; the document holds nothing between the
    # two, and a serialization of it writes them side by side.
    return re.sub(rb"^(<!DOCTYPE[^>]*>)\n", rb"\1", done.stdout)


def scratch_folders():
    """The browsers' scratch folders in the host's folder for temporary files."""
    return {name for name in os.listdir(HOST_TMP) if name.startswith("lorvex-snapshot-")}


def native_snapshot(url, work, doc):
    """The native tool's --snapshot of url as {file: bytes}, or None when it has no --snapshot."""
    if not os.access(NATIVE_TOOL, os.X_OK):
        return None
    done = subprocess.run([NATIVE_TOOL, "import", url, "--work", work, "--doc", str(doc),
                           "--snapshot", "--browser", CHROMIUM],
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    if b"unexpected argument" in done.stderr:
        return None
    if done.returncode != 0:
        raise AssertionError("lorvex import --snapshot: %r" % done.stderr)
    files = {}
    for name in pagesite.listing(work):
        if not name.endswith("/"):
            with open(os.path.join(work, *name.split("/")), "rb") as f:
                files[name] = f.read()
    return files


class Snapshot(HostTestCase):
    def setUp(self):
        super().setUp()
        self.site = self.path("site")
        os.makedirs(self.site)
        self.photo = pagesite.gif(40, 20, (3, 4, 5))
        for name, data in {"index.htm": INDEX, "app.js": APP, "photo.gif": self.photo}.items():
            with open(os.path.join(self.site, name), "wb") as f:
                f.write(data)
        self.server = pagesite.SiteServer(self.site)
        self.base = self.server.start()
        self.addCleanup(self.server.stop)
        self.url = self.base + "index.htm"

    def load_html(self, html, doc, *options):
        out = self.path("%d.zip" % doc)
        status, stdout, stderr = run_host(
            "loadhtml", "--html-file", winpath(self.write("%d.source" % doc, html)),
            "--location", self.url, "--work", winpath(self.path("work-%d" % doc)),
            "--doc", str(doc), "--quiet", "--out", winpath(out), *options)
        self.assertEqual((status, stdout), (0, "result=true\n"), stderr)
        return zip_entries(out)

    def test_rendered_page_handed_over_is_saved_without_its_scripts(self):
        rendered = render(self.url)
        self.assertIn(b"Built by the script", rendered)
        del self.server.requests[:]
        entries = self.load_html(rendered, 3, "--complete", "--snapshot")
        # Only the picture is fetched: the scripts are neither fetched nor listed.
        self.assertEqual(set(self.server.requests), {"/photo.gif"})
        self.assertEqual(set(entries), {"3.htm", "3.files/photo.gif"})
        self.assertEqual(entries["3.files/photo.gif"], self.photo)
        page = entries["3.htm"]
        for gone in (b"<script type=\"module\"", b"modulepreload", b"onclick", b"javascript:"):
            self.assertNotIn(gone, page)
        for kept in (b'<h1>Built by the script</h1><img src="3.files/photo.gif" width="40">'
                     b'<a href="#">menu</a>',
                     b'<script type="application/ld+json">{"name": "harbour"}</script>',
                     b"<noscript><p>This page needs scripts.</p></noscript>"):
            self.assertIn(kept, page)

        # The next run without --snapshot: the setting is gone, the scripts are saved.
        complete = self.load_html(rendered, 4, "--complete")
        self.assertEqual(set(complete), {"4.htm", "4.files/photo.gif", "4.files/app.js"})
        self.assertIn(b'<script type="module" src="4.files/app.js"></script>', complete["4.htm"])

        # The native tool renders the same page and writes the same files.
        native = native_snapshot(self.url, self.path("native"), 3)
        if native is None:
            self.skipTest("the native tool has no --snapshot")
        self.assertEqual(set(native), set(entries))
        for name, data in native.items():
            self.assertEqual(entries[name], data, name)

    def run_file(self, doc, *options):
        """Extension 0 on the site's file.htm with --snapshot: (zip entries, trace)."""
        out = self.path("%d.zip" % doc)
        status, stdout, stderr = run_host(
            "run", "--index", "0", "--file", winpath(os.path.join(self.site, "file.htm")),
            "--work", winpath(self.path("work-%d" % doc)), "--doc", str(doc), "--out",
            winpath(out), "--snapshot", "--trace", *options)
        self.assertEqual((status, stdout.splitlines()[-1]), (0, "result=true ispage=true"), stderr)
        return zip_entries(out), stderr

    def assert_kept_scripts(self, entries, doc):
        self.assertIn("%d.files/app.js" % doc, entries)
        self.assertIn(b'<script src="%d.files/app.js" defer></script>' % doc,
                      entries["%d.htm" % doc])
        self.assertNotIn(b"Built by the script", entries["%d.htm" % doc])

    def test_file_rendered_by_the_named_browser_gives_the_native_files(self):
        if not os.access(CHROMIUM, os.X_OK):
            self.skipTest("no " + CHROMIUM)
        self.write(os.path.join("site", "file.htm"), FILE_PAGE)
        before = scratch_folders()
        entries, trace = self.run_file(6, "--browser", winpath(CHROMIUM), "--read-timeout", "60000")
        self.assertEqual(set(entries), {"6.htm", "6.files/photo.gif"}, trace)
        self.assertIn(b'<h1>Built by the script</h1><img src="6.files/photo.gif" width="40">'
                      b'<a href="#">menu</a>', entries["6.htm"])
        self.assertNotIn(b"<script src=", entries["6.htm"])
        self.assertNotIn("ImportHtmlFile", trace)
        self.assertEqual(scratch_folders() - before, set())

        native = native_snapshot(os.path.join(self.site, "file.htm"), self.path("native"), 6)
        if native is None:
            self.skipTest("the native tool has no --snapshot")
        self.assertEqual(set(native), set(entries))
        for name, data in native.items():
            self.assertEqual(entries[name], data, name)

    def test_file_without_a_browser_keeps_its_scripts_and_the_trace_says_so(self):
        self.write(os.path.join("site", "file.htm"), FILE_PAGE)
        script = self.write("not-a-browser", b"#!/bin/sh\necho not a browser\nexit 1\n")
        os.chmod(script, 0o755)
        before = scratch_folders()
        cases = [
            # No Browser setting, and no Edge or Chrome in the prefix.
            ("none", (), "no browser to render the page found; saved with its scripts"),
            # A Browser setting naming nothing: as no browser.
            ("missing", ("--browser", winpath(self.path("no", "chromium.exe"))),
             "no browser to render the page found; saved with its scripts"),
            # A program that is no browser: it ends at its start.
            ("no browser", ("--browser", winpath(os.path.join(BIN, "lorvex-host.exe"))),
             "the page could not be rendered by "),
            # A program of the host system that ends at once: Wine tells nothing of its end, so
            # the read time-out bounds the wait for it.
            ("host program", ("--browser", winpath(script), "--read-timeout", "3000"),
             "the page could not be rendered by %s (the browser did not start in time)"
             % winpath(script)),
        ]
        for doc, (name, options, said) in enumerate(cases, 7):
            with self.subTest(name):
                entries, trace = self.run_file(doc, *options)
                self.assertIn("ImportHtmlFile: " + said, trace)
                self.assertIn("; saved with its scripts", trace)
                self.assert_kept_scripts(entries, doc)
        self.assertEqual(self.server.requests, [])
        self.assertEqual(scratch_folders() - before, set())


if __name__ == "__main__":
    unittest.main()
