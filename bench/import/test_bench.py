"""Checks of the page-import benchmark's own parts: the generated site (deterministic, real
images, and an expected list that agrees with the tool's own link rewriting) and the counter
that judges what a tool saved.

  python3 -m unittest discover -s bench/import -p 'test_*.py'

Uses build/native/lorvex (LORVEX_TOOL overrides) and Debian's chromium when they are there.
"""
import os
import random
import shutil
import struct
import subprocess
import tempfile
import unittest
import zlib

import check
import images
import make_site

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
TOOL = os.environ.get("LORVEX_TOOL", os.path.join(ROOT, "build", "native", "lorvex"))
RESOURCES = 150  # enough for every kind of reference, quick to write
PAGE_URL = "http://127.0.0.1:18483/"


def gif_pixels(data):
    """A literal GIF decoder for one image: (width, height, number of pixel indices)."""
    width, height = struct.unpack("<HH", data[6:10])
    pos = 13 + 3 * (2 << (data[10] & 7))
    assert data[pos:pos + 1] == b",", "image descriptor"
    pos += 10
    minimum = data[pos]
    pos += 1
    stream = bytearray()
    while data[pos]:
        stream += data[pos + 1:pos + 1 + data[pos]]
        pos += 1 + data[pos]
    clear, end = 1 << minimum, (1 << minimum) + 1
    stream += b"\0\0"
    width_bits, at, table, previous, out = minimum + 1, 0, None, None, 0
    while True:
        code = (int.from_bytes(stream[at // 8:at // 8 + 3], "little") >> (at % 8)) & ((1 << width_bits) - 1)
        at += width_bits
        if code == clear:
            table = [[k] for k in range(clear)] + [None, None]
            width_bits, previous = minimum + 1, None
            continue
        if code == end:
            return width, height, out
        if code < len(table):
            entry = table[code]
        else:
            entry = previous + previous[:1]  # the one code not yet in the table
        if previous is not None:
            table.append(previous + entry[:1])
            if len(table) == 1 << width_bits and width_bits < 12:
                width_bits += 1
        out += len(entry)
        previous = entry


def png_size(data):
    """(width, height) of a PNG after checking its chunks' CRCs and its pixel data's length."""
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        assert struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0] == zlib.crc32(kind + body)
        if kind == b"IHDR":
            width, height = struct.unpack(">II", body[:8])
        idat += body if kind == b"IDAT" else b""
        pos += 12 + length
    assert len(zlib.decompress(idat)) == height * (1 + 3 * width)
    return width, height


class SiteTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="lorvex-site-test-")
        cls.site = os.path.join(cls.dir, "site")
        make_site.write(make_site.build(cls.site, RESOURCES, 1))
        with open(os.path.join(cls.site, "expected.tsv")) as f:
            cls.expected = [line.rstrip("\n").split("\t") for line in f]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, True)

    def tree(self, root):
        files = {}
        for folder, _, names in os.walk(root):
            for name in names:
                with open(os.path.join(folder, name), "rb") as f:
                    files[os.path.relpath(os.path.join(folder, name), root)] = f.read()
        return files

    def test_same_site_every_time_with_the_promised_mix(self):
        again = os.path.join(self.dir, "again")
        make_site.write(make_site.build(again, RESOURCES, 1))
        self.assertEqual(self.tree(self.site), self.tree(again))

        self.assertEqual(len(self.expected), RESOURCES + 1)
        locals_ = [row[0] for row in self.expected]
        self.assertEqual(len(set(locals_)), len(locals_))
        for local, source, _ in self.expected:
            self.assertTrue(os.path.isfile(os.path.join(self.site, source)), source)
        self.assertIn("1.files/logo[3].gif", locals_)  # three folders hold a logo.gif
        self.assertIn("1.files/page[2].htm", locals_)  # two inline frames named page.htm
        self.assertIn("1.files/page[2].files/logo[2].gif", locals_)
        sizes = [os.path.getsize(os.path.join(self.site, s)) for _, s, _ in self.expected]
        self.assertGreater(max(sizes), 100_000)
        with open(os.path.join(self.site, "index.htm"), "rb") as f:
            top = f.read()
        for tag in (b"<frame src=", b"<iframe src=", b"<body background=", b"<table background=",
                    b"<td background=", b'<input type="image" src=', b'<script type="text/javascript" src=',
                    b'<link rel="stylesheet"', b'src="/img', b'.css?v=3"', b"<a href="):
            self.assertIn(tag, top)

    def test_images_decode(self):
        rng = random.Random(5)
        for extension in (".gif", ".png", ".jpg"):
            for approx in (40, 3000, 150_000):
                data, width, height = images.image(rng, extension, approx)
                self.assertLess(abs(len(data) - approx), approx * 0.5 + 1200, (extension, approx, len(data)))
                if extension == ".gif":
                    self.assertEqual(gif_pixels(data), (width, height, width * height))
                elif extension == ".png":
                    self.assertEqual(png_size(data), (width, height))
                else:
                    self.assertEqual(data[:2] + data[-2:], b"\xff\xd8\xff\xd9")

    @unittest.skipUnless(shutil.which("chromium"), "needs chromium")
    def test_a_browser_shows_every_image(self):
        paths = [s for _, s, check_ in self.expected if os.path.splitext(s)[1] in images.WRITERS]
        probe = os.path.join(self.dir, "probe.htm")  # beside the site, which other tests compare
        with open(probe, "w") as f:
            f.write("<html><body>%s<pre id=out></pre><script>onload = function () { var s = '';"
                    " for (var i = 0; i < document.images.length; i++) { var m = document.images[i];"
                    " s += m.getAttribute('src') + ' ' + m.naturalWidth + ' ' + m.naturalHeight + '\\n'; }"
                    " document.getElementById('out').textContent = s; };</script></body></html>"
                    % "".join('<img src="site/%s">' % p for p in paths))
        dom = subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--virtual-time-budget=10000",
                              "--dump-dom", "file://" + probe], capture_output=True, timeout=120).stdout.decode()
        shown = dom.split("<pre id=\"out\">")[1].split("</pre>")[0].split("\n")[:-1]
        self.assertEqual(len(shown), len(paths))
        for line in shown:
            source, width, height = line.split()
            self.assertGreater(int(width) * int(height), 0, source)

    @unittest.skipUnless(os.path.exists(TOOL), "needs build/native/lorvex")
    def test_expected_folder_matches_the_tools_own_rewriting(self):
        # A working folder as the import should leave it: byte copies of the resources, and
        # the pages rewritten by the tool's own link rewriting. Every rewritten link of every
        # page must then name a file of the expected list.
        work = os.path.join(self.dir, "work")
        pages = {}
        for local, source, kind in self.expected:
            target = os.path.join(work, local)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            if source.endswith(".htm"):
                folder = os.path.splitext(os.path.basename(local))[0] + ".files"
                done = subprocess.run([TOOL, "rewrite", os.path.join(self.site, source), "--local-folder", folder,
                                       "--page-url", PAGE_URL + source], capture_output=True, timeout=60)
                self.assertEqual(done.returncode, 0, done.stderr)
                with open(target, "wb") as f:
                    f.write(done.stdout)
                pages[target] = source
            else:
                shutil.copyfile(os.path.join(self.site, source), target)
        same = sum(kind == "same" for _, _, kind in self.expected)
        self.assertEqual(check.compare_expected(work, self.site), (RESOURCES + 1, RESOURCES + 1, same))
        for page, source in pages.items():
            local, links = check.count_links(page)
            anchors = 3 if source == "index.htm" else 0  # made absolute, not saved
            self.assertEqual(local, links - anchors, source)
            self.assertGreater(links, 3, source)


class LinkCounterTest(unittest.TestCase):
    def test_cases(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in ("a.gif", "s.css?v=3", "my pic.png", "d.files/x[2].gif"):
                os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
                open(os.path.join(folder, name), "wb").close()
            cases = [
                (b'<img src="a.gif">', 1, 1),
                (b"<IMG SRC='a.gif' width=3>", 1, 1),
                (b"<td background=a.gif>", 1, 1),
                (b'<img src="a.gif#top"><img src="a.gif?x=1">', 2, 2),
                (b'<link href="s.css%3Fv=3">', 1, 1),  # encoded "?" is part of the name
                (b'<link href="s.css?v=3">', 0, 1),  # a real query: s.css is not there
                (b'<img src="my%20pic.png"><img src="d.files/x[2].gif">', 2, 2),
                (b'<img src="http://h/a.gif"><img src="/a.gif"><img src="file:a.gif">', 0, 3),
                (b'<img src="b.gif"><img src="">', 0, 2),
                (b'<img alt="x" srcset="a.gif 2x"><a name=n>', 0, 0),
                (b'<a href="d.files">folder</a> text src="a.gif"', 0, 1),
            ]
            for html, local, links in cases:
                page = os.path.join(folder, "p.htm")
                with open(page, "wb") as f:
                    f.write(html)
                self.assertEqual(check.count_links(page), (local, links), html)


if __name__ == "__main__":
    unittest.main()
