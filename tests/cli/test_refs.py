"""lorvex refs: the references of a page as the page import sees them, with local names."""
import os
import subprocess
import tempfile
import unittest

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")

PAGE = (
    b'<html><head><base href="http://x/y"><meta charset="utf-8">\n'
    b'<link rel=stylesheet href="s.css"></head>\n'
    b'<body background="bg.gif"><IMG SRC=Logo.GIF><img src="http://a/logo.gif">'
    b'<img src="http://b/logo.gif"><img src="http://a/logo.gif">\n'
    b'<a href="next.htm">n</a><script src="x.cgi"></script><img src="a%0Db.gif">'
    b"<iframe src='in.html'></iframe>\n</body></html>\n"
)


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, timeout=60)


class RefsTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.file = os.path.join(self.dir.name, "page.htm")
        with open(self.file, "wb") as f:
            f.write(PAGE)

    def tearDown(self):
        self.dir.cleanup()

    def test_import_view_with_local_names(self):
        result = run("refs", self.file, "--base", "http://h/d/page.htm")
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.split(b"\n")
        self.assertEqual(lines[-1], b"")
        self.assertEqual(
            lines[:-1],
            [
                b"4http://x/y/s.css\tpage.files/s.css",
                b"0http://x/y/bg.gif\tpage.files/bg.gif",
                b"0http://x/y/Logo.GIF\tpage.files/Logo.GIF",
                b"0http://a/logo.gif\tpage.files/logo[2].gif",
                b"0http://b/logo.gif\tpage.files/logo[3].gif",
                # the encoded CR stays inside its entry: one entry per reference
                b"0http://x/y/a\rb.gif\tpage.files/a\rb.gif",
                b"9http://x/y/in.html\tpage.files/in.html",
            ],
        )

    def test_all_prints_the_raw_collected_list(self):
        result = run("refs", self.file, "--base", "http://h/d/page.htm", "--all")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(
            result.stdout.split(b"\n")[:-1],
            [
                b"5http://x/y",
                b"6utf-8",
                b"4http://x/y/s.css",
                b"0http://x/y/bg.gif",
                b"0http://x/y/Logo.GIF",
                b"0http://a/logo.gif",
                b"0http://b/logo.gif",
                b"0http://a/logo.gif",
                b"8http://x/y/next.htm",
                b"0http://x/y/a\rb.gif",
                b"9http://x/y/in.html",
            ],
        )

    def test_local_page_resolves_to_drive_paths(self):
        with open(self.file, "wb") as f:
            f.write(b'<img src="img/a.gif"><img src="../b.png">' + b" " * 10)
        result = run("refs", self.file, "--base", "c:\\site\\sub\\index.htm")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(
            result.stdout,
            b"0c:\\site\\sub\\img\\a.gif\tpage.files/a.gif\n0c:\\site\\b.png\tpage.files/b.png\n",
        )

    def test_usage_errors(self):
        self.assertNotEqual(run("refs", self.file).returncode, 0)
        self.assertNotEqual(run("refs", "--base", "http://h/").returncode, 0)
        missing = run("refs", os.path.join(self.dir.name, "none.htm"), "--base", "http://h/")
        self.assertNotEqual(missing.returncode, 0)
        self.assertIn(b"none.htm", missing.stderr)


if __name__ == "__main__":
    unittest.main()
