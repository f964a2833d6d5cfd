"""The native tool's import command against the page site, served on 127.0.0.1 and on disk."""
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import browser  # noqa: E402
import modernsite  # noqa: E402
import pagesite  # noqa: E402

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")


def run(*args):
    done = subprocess.run([TOOL, "import", *args], capture_output=True, stdin=subprocess.DEVNULL,
                          timeout=120)
    return done.returncode, done.stdout, done.stderr


class ImportCommand(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.site = os.path.join(self.dir.name, "site")
        self.files = pagesite.write_site(self.site)
        self.work = os.path.join(self.dir.name, "work")
        self.server = pagesite.SiteServer(self.site)
        self.base = self.server.start()
        self.addCleanup(self.server.stop)

    def read(self, name):
        with open(os.path.join(self.work, *name.split("/")), "rb") as f:
            return f.read()

    def check_layout(self, doc, served, anchor):
        layout = pagesite.expected_layout(doc, served)
        self.assertEqual(pagesite.listing(self.work), set(layout))
        for name, source in layout.items():
            if source:
                self.assertEqual(self.read(name), self.files[source], name)
        d = "%d.files/" % doc
        self.assertEqual(self.read("%d.htm" % doc), pagesite.rewritten_index(doc, anchor))
        self.assertEqual(self.read(d + "menu.js"), self.files["menu.js"].replace(
            b'"menu.gif"', b'"%d.files/menu.gif"' % doc))
        self.assertEqual(self.read(d + "inline.htm"), self.files["inline.htm"].replace(
            b'"inline.gif"', b'"inline.files/inline.gif"'))
        self.assertEqual(self.read(d + "frameset.htm"), self.files["frameset.htm"].replace(
            b'"left.htm"', b'"frameset.files/left.htm"').replace(
            b'"right.htm"', b'"frameset.files/right.htm"'))

    def test_served_site(self):
        status, out, err = run(self.base + "index.htm", "--work", self.work, "--doc", "7")
        self.assertEqual((status, out), (3, b""), err)
        self.check_layout(7, True, self.base + "about.htm")
        failed = [("%s%s -> %s/%s" % (self.base, url, self.work, target)).encode()
                  for url, target in pagesite.expected_failures(7)]
        self.assertEqual([line.split(b"not fetched: ", 1)[1] for line in err.splitlines()], failed)
        # The frames of the linked frameset page are fetched as texts but go no deeper, and an
        # image that only the style sheet names is not fetched.
        self.assertIn("/left.htm", self.server.requests)
        self.assertNotIn("/left.gif", self.server.requests)
        self.assertNotIn("/bg.gif", self.server.requests)

    def test_forms_of_reference(self):
        with pagesite.SiteServer(self.site) as cdn:
            with open(os.path.join(self.site, "forms.htm"), "wb") as f:
                f.write(pagesite.forms_page(cdn.base_url))
            status, out, err = run(self.base + "forms.htm", "--work", self.work, "--doc", "9")
            self.assertIn("/slow.gif", cdn.requests)
        self.assertEqual((status, out), (3, b""), err)
        self.assertEqual(err.splitlines(), [b"lorvex import: not fetched: %sgone.htm -> %s/9.files/gone.htm"
                                            % (self.base.encode(), self.work.encode())])
        layout = pagesite.forms_layout(9)
        self.assertEqual(pagesite.listing(self.work), {"9.htm", "9.files/", *layout})
        for name, source in layout.items():
            self.assertEqual(self.read(name), self.files[source], name)
        self.assertEqual(self.read("9.htm"), pagesite.rewritten_forms(9, self.base))

    def test_complete_page_looks_right_offline(self):
        """A page in the manner of modern sites, saved with --complete, then opened in a
        browser with the servers gone: every picture loads from the disk, nothing is asked of
        the network."""
        site = os.path.join(self.dir.name, "modern")
        with pagesite.SiteServer(site) as cdn, pagesite.SiteServer(site) as server:
            files = modernsite.write_site(site, cdn.base_url)
            status, out, err = run(server.base_url + "index.htm", "--work", self.work, "--doc",
                                   "4", "--complete")
        self.assertEqual((status, out, err), (0, b"", b""))
        expected = modernsite.expected_files(4)
        self.assertEqual(pagesite.listing(self.work), {"4.htm", "4.files/", *expected})
        for name, source in expected.items():
            if source:
                self.assertEqual(self.read(name), files[source], name)
        self.assertEqual(self.read("4.files/more.css"),
                         b"/* imported */ .deep { background-image: url(deep.gif) }\n")
        # Every url() of the saved page and sheets names a file beside it.
        for name, folder in [("4.htm", ""), ("4.files/site.css", "4.files/"),
                             ("4.files/more.css", "4.files/")]:
            for target in re.findall(rb"url\((?:&quot;|['\"])?([^)'\"&]+)", self.read(name)):
                if not target.startswith(b"data:"):
                    local = folder + target.decode().split("#")[0]
                    self.assertTrue(os.path.isfile(os.path.join(self.work, local)), local)
        seen = browser.inspect(os.path.join(self.work, "4.htm"))
        self.assertEqual(seen["requests"], [])
        self.assertEqual(len(seen["images"]), 7)
        for src, width in seen["images"]:
            self.assertGreater(width, 1, src)  # the lazy picture too, put in by its own script
        self.assertEqual(seen["sheets"][0][1], 5)  # the saved sheet, its rules read

    def test_quoted_brackets_and_a_last_tag(self):
        """Attribute values holding "<" and ">" (range media queries, an alt text) keep their
        tag, and a tag that ends the page is found: in both modes every picture is saved and
        pointed at, and the browser loads each from the disk."""
        site = os.path.join(self.dir.name, "quoted")
        os.mkdir(site)
        pictures = {"small.gif": pagesite.gif(3, 2, (200, 0, 0)), "elva.gif": pagesite.gif(5, 2, (0, 200, 0)),
                    "five.gif": pagesite.gif(7, 2, (0, 0, 200)), "last.gif": pagesite.gif(9, 2, (200, 200, 0))}
        for name, data in pictures.items():
            with open(os.path.join(site, name), "wb") as f:
                f.write(data)
        page = (b'<p><picture><source media="(width < 800px)" srcset="small.gif 1x">'
                b'<img sizes="(width <= 600px) 480px, 800px" src="elva.gif"></picture>'
                b'<img alt="5 > 3" src="five.gif" title=\'a<b\'><img src="last.gif">')
        with open(os.path.join(site, "q.htm"), "wb") as f:
            f.write(page)
        with pagesite.SiteServer(site) as server:
            for doc, mode in [(5, []), (6, ["--complete"])]:
                status, out, err = run(server.base_url + "q.htm", "--work", self.work, "--doc",
                                       str(doc), *mode)
                self.assertEqual((status, out, err), (0, b"", b""), mode)
                saved = self.read("%d.htm" % doc)
                names = ["elva.gif", "five.gif", "last.gif"] + (["small.gif"] if mode else [])
                for name in names:
                    self.assertEqual(self.read("%d.files/%s" % (doc, name)), pictures[name])
                    self.assertIn(b'"%d.files/%s' % (doc, name.encode()), saved, mode)
                seen = browser.inspect(os.path.join(self.work, "%d.htm" % doc))
                self.assertEqual(seen["requests"], [], mode)
                self.assertEqual(sorted(w for _, w in seen["images"]), [5, 7, 9], mode)

    def test_complete_tags_that_check_their_source_load_offline(self):
        """integrity, crossorigin, a preloaded font, a content security policy and an iframe
        srcdoc: the complete copy opened from disk loads every file it saved."""
        import base64
        import hashlib
        site = os.path.join(self.dir.name, "checked")
        os.mkdir(site)
        with open("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "rb") as f:
            font = f.read()
        sheet = (b"@font-face { font-family: F; src: url(f.ttf) }\n"
                 b"body { font-family: F; background: url(bg.gif) }\n")
        script = (b"var i = document.createElement('img');"
                  b"i.src = 'data:image/gif;base64," + base64.b64encode(pagesite.gif(13, 2, (9, 9, 9)))
                  + b"'; document.body.appendChild(i);")

        def sri(data):
            return b"sha256-" + base64.b64encode(hashlib.sha256(data).digest())
        files = {"s.css": sheet, "j.js": script, "f.ttf": font,
                 "bg.gif": pagesite.gif(11, 2, (1, 2, 3)), "in.gif": pagesite.gif(7, 2, (3, 2, 1)),
                 "p.gif": pagesite.gif(5, 2, (5, 5, 5))}
        for name, data in files.items():
            with open(os.path.join(site, name), "wb") as f:
                f.write(data)
        with pagesite.SiteServer(site) as server:
            origin = server.base_url[:-1]
            page = (b'<html><head><meta http-equiv="Content-Security-Policy" content="img-src '
                    + origin.encode() + b' data:; font-src ' + origin.encode() + b'">'
                    b'<link rel="preload" as="font" type="font/ttf" href="f.ttf" crossorigin>'
                    b'<link rel="preload stylesheet" as="style" href="s.css" integrity="'
                    + sri(sheet) + b'" crossorigin="anonymous"></head><body><img src="p.gif">'
                    b'<iframe srcdoc="&lt;img src=&quot;in.gif&quot;&gt;"></iframe>'
                    b'<script src="j.js" integrity="' + sri(script) + b'" crossorigin="anonymous">'
                    b'</script></body></html>')
            with open(os.path.join(site, "c.htm"), "wb") as f:
                f.write(page)
            status, out, err = run(server.base_url + "c.htm", "--work", self.work, "--doc", "8",
                                   "--complete")
        self.assertEqual((status, out, err), (0, b"", b""))
        for name, data in files.items():
            if name != "j.js":
                self.assertEqual(self.read("8.files/" + name), data, name)
        saved = self.read("8.htm")
        for gone in (b"integrity", b"crossorigin", b"Content-Security-Policy"):
            self.assertNotIn(gone, saved)
        seen = browser.inspect(os.path.join(self.work, "8.htm"))
        self.assertEqual(seen["requests"], [])
        self.assertEqual(sorted(w for _, w in seen["images"]), [5, 13])  # the script ran
        self.assertEqual([n for _, n in seen["sheets"]], [2])
        self.assertEqual([w for _, w in seen["backgrounds"]], [11])
        self.assertEqual([sorted(w for _, w in f["images"]) for f in seen["frames"]], [[7]])

    def test_site_on_disk(self):
        os.mkdir(self.work)
        status, out, err = run(os.path.join(self.site, "index.htm"), "--work", self.work,
                               "--doc", "-3")
        self.assertEqual((status, out, err), (0, b"", b""))
        # A local page's anchors become drive paths; Linux paths are those of drive Z:.
        self.check_layout(-3, False, "Z:" + self.site.replace("/", "\\") + "\\about.htm")
        self.assertEqual(self.server.requests, [])

    def test_a_stalled_resource_ends_with_the_read_timeout(self):
        started = time.monotonic()
        status, _, err = run(self.base + "stalled.htm", "--work", self.work, "--doc", "1",
                             "--read-timeout", "300")
        self.assertLess(time.monotonic() - started, 30)
        self.assertEqual(status, 3)
        self.assertIn(b"not fetched: %sstall.gif" % self.base.encode(), err)
        self.assertEqual(self.read("1.files/photo.gif"), self.files["photo.gif"])

    def test_ctrl_c_stops_the_import(self):
        process = subprocess.Popen([TOOL, "import", self.base + "stalled.htm", "--work", self.work,
                                    "--doc", "1"], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(process.kill)
        deadline = time.monotonic() + 20
        while "/stall.gif" not in self.server.requests and time.monotonic() < deadline:
            time.sleep(0.05)
        process.send_signal(signal.SIGINT)
        _, err = process.communicate(timeout=20)
        self.assertEqual(process.returncode, 1)
        self.assertIn(b"stopped", err)

    def test_exit_codes(self):
        """0 everything saved, 3 the page saved and resources named as not fetched, 1 no page,
        2 wrong arguments."""
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            closed_port = s.getsockname()[1]
        page = os.path.join(self.site, "index.htm")
        cases = [  # {work} is a folder of the case's own, made by nothing but the import
            ([page, "--work", "{work}", "--doc", "1"], 0),
            ([self.base + "index.htm", "--work", "{work}", "--doc", "1"], 3),
            ([], 2),
            ([page, "--work", "{work}"], 2),
            ([page, "--doc", "1"], 2),
            ([page, "--work", "{work}", "--doc", "x"], 2),
            ([page, "--work", "{work}", "--doc", "4294967296"], 2),
            ([page, "--work", "{work}", "--doc", "1", "--read-timeout", "-1"], 2),
            ([page, "--work", "{work}", "--doc", "1", "--proxy", "host"], 2),
            ([page, "--work", "{work}", "--doc", "1", "--colour"], 2),
            ([os.path.join(self.site, "none.htm"), "--work", "{work}", "--doc", "1"], 1),
            ([self.base + "none.htm", "--work", "{work}", "--doc", "1"], 1),
            (["http://127.0.0.1:%d/index.htm" % closed_port, "--work", "{work}", "--doc", "1"], 1),
            ([page, "--work", os.path.join(self.dir.name, "no", "work"), "--doc", "1"], 1),
            ([page, "--work", "", "--doc", "1"], 1),
        ]
        for number, (args, expected) in enumerate(cases):
            work = os.path.join(self.dir.name, "work-%d" % number)
            with self.subTest(args=args):
                status, out, err = run(*[arg.replace("{work}", work) for arg in args])
                self.assertEqual(status, expected, err)
                self.assertEqual(out, b"")
                self.assertEqual(b"not fetched: " in err, expected == 3, err)
                self.assertEqual(bool(err), expected != 0)
                self.assertEqual(os.path.exists(os.path.join(work, "1.htm")), expected in (0, 3))

if __name__ == "__main__":
    unittest.main()
