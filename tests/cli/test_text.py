"""The native tool's text command: the converted text as the packed document holds it."""
import os
import subprocess
import tempfile
import unittest

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")


def run(*args):
    done = subprocess.run([TOOL, *args], capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
    return done.returncode, done.stdout, done.stderr


class TextCommand(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def page(self, data):
        path = os.path.join(self.dir.name, "page.htm")
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_output_is_lines_with_crlf(self):
        status, out, _ = run("text", self.page(b"<title>T</title>a<br>b\nc<pre>x\ny</pre>"))
        self.assertEqual(status, 0)
        # LF in the file becomes CR LF when read as lines, so it vanishes outside <pre>.
        self.assertEqual(out, b"a\r\nbc\r\nx\r\ny\r\n")

    def test_options(self):
        path = self.page(b'<title>T</title><a href="u.htm">go</a>')
        self.assertEqual(run("text", path)[1], b"go\r\n")
        self.assertEqual(run("text", path, "--show-links")[1], b"[go u.htm ]\r\n")
        self.assertEqual(run("text", path, "--keep-title", "--show-links")[1],
                         b"<<T>>\r\n\r\n[go u.htm ]\r\n")

    def test_empty_page_gives_no_output(self):
        self.assertEqual(run("text", self.page(b"")), (0, b"", b""))

    def test_unreadable_file_fails_with_a_message(self):
        status, out, err = run("text", os.path.join(self.dir.name, "missing.htm"))
        self.assertNotEqual(status, 0)
        self.assertEqual(out, b"")
        self.assertIn(b"missing.htm", err)
        status, _, err = run("text")
        self.assertNotEqual(status, 0)
        self.assertTrue(err)


if __name__ == "__main__":
    unittest.main()
