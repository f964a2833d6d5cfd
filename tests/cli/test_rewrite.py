"""lorvex rewrite: the page as it is saved, references pointed at local copies."""
import os
import subprocess
import tempfile
import unittest

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, timeout=60)


class RewriteTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.file = os.path.join(self.dir.name, "page.htm")

    def tearDown(self):
        self.dir.cleanup()

    def rewrite(self, page, folder="5.files", url="http://h/d/p.htm"):
        with open(self.file, "wb") as f:
            f.write(page)
        result = run("rewrite", self.file, "--local-folder", folder, "--page-url", url)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout

    def test_rewrites_and_joins_lines_with_crlf(self):
        page = (
            b"<html><head><base href=http://x/y><meta charset=UTF-8><link href=s.css>\n"
            b"<body><IMG SRC=Logo.GIF><a href='next.htm'>\xb5\xda</a>\r"
            b'<img src="http://a/logo.gif"><img src="http://b/logo.gif">\n</body></html>'
        )
        self.assertEqual(
            self.rewrite(page),
            b"<html><head><link href=5.files/s.css>\r\n"
            b"<body><IMG SRC=5.files/Logo.GIF><a href='http://x/y/next.htm'>\xb5\xda</a>\r\n"
            b'<img src="5.files/logo[2].gif"><img src="5.files/logo[3].gif">\r\n</body></html>\r\n',
        )

    def test_absolute_folder_and_encoded_line_break(self):
        page = b'<img src="a%0Db.gif"><img src=c.gif><a href=n.htm>x</a>\n</body></html>\n'
        self.assertEqual(
            self.rewrite(page, folder="c:\\w\\7.files\\", url="c:\\site\\p.htm"),
            b'<img src="c:/w/7.files/a\rb.gif"><img src=c:/w/7.files/c.gif>'
            b"<a href=c:\\site\\n.htm>x</a>\r\n</body></html>\r\n",
        )

    def test_page_without_references_only_changes_line_breaks(self):
        self.assertEqual(self.rewrite(b"<p>plain\r\ntext\n"), b"<p>plain\r\ntext\r\n")
        self.assertEqual(self.rewrite(b""), b"")

    def test_usage_errors(self):
        with open(self.file, "wb") as f:
            f.write(b"<p>")
        self.assertNotEqual(run("rewrite", self.file, "--local-folder", "x").returncode, 0)
        self.assertNotEqual(run("rewrite", self.file, "--page-url", "http://h/").returncode, 0)
        self.assertNotEqual(
            run("rewrite", os.path.join(self.dir.name, "none.htm"), "--local-folder", "x", "--page-url", "u").returncode,
            0,
        )


if __name__ == "__main__":
    unittest.main()
