"""The native tool's mht command: the web archive import without the packing step."""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import mhtgen  # noqa: E402

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")


def run(*args):
    done = subprocess.run([TOOL, *args], capture_output=True, stdin=subprocess.DEVNULL, timeout=120)
    return done.returncode, done.stdout, done.stderr


class MhtCommand(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.work = os.path.join(self.dir.name, "work")

    def archive(self, data):
        path = os.path.join(self.dir.name, "in.mht")
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read(self, *names):
        with open(os.path.join(self.work, *names), "rb") as f:
            return f.read()

    def test_writes_page_and_parts_without_packing(self):
        gif = mhtgen.random_bytes(5000, 3)
        path = self.archive(mhtgen.saved_page(b"<p>a</p>", [("i/pic.gif", "image/gif", gif)]))
        os.mkdir(self.work)
        self.assertEqual(run("mht", path, "--work", self.work, "--doc", "42"), (0, b"", b""))
        self.assertEqual(sorted(os.listdir(self.work)), ["42.files", "42.htm"])
        self.assertEqual(self.read("42.files", "pic.gif"), gif)
        self.assertEqual(self.read("42.htm"), b"\r\n<p>a</p>\r\n\r\n")

    def test_messages_go_to_stderr_and_the_import_still_ends(self):
        path = self.archive(mhtgen.saved_page(b"<p>a</p>", [("con.gif", "image/gif", b"x")]))
        os.mkdir(self.work)
        status, out, err = run("mht", path, "--work", self.work, "--doc", "1")
        self.assertEqual((status, out), (0, b""))
        self.assertIn(b'"con.gif"', err)
        path = self.archive(mhtgen.saved_page(b"<p>a</p>", [("ok.gif", "image/gif", b"x")]))
        missing = os.path.join(self.dir.name, "no", "work")
        status, _, err = run("mht", path, "--work", missing, "--doc", "1")
        self.assertEqual(status, 0)
        self.assertEqual(err.count(missing.encode()), 2)  # the work folder, then the parts folder
        self.assertFalse(os.path.exists(os.path.join(self.dir.name, "no")))

    def test_errors_give_a_nonzero_status(self):
        os.mkdir(self.work)
        status, _, err = run("mht", os.path.join(self.dir.name, "none.mht"), "--work", self.work,
                             "--doc", "1")
        self.assertNotEqual(status, 0)
        self.assertIn(b"none.mht", err)
        self.assertNotEqual(run("mht", self.archive(b""), "--work", self.work, "--doc", "1")[0], 0)
        for bad in (["--work", self.work], ["--doc", "1"], ["--work", self.work, "--doc", "x"],
                    ["--work", self.work, "--doc", "99999999999"]):
            self.assertNotEqual(run("mht", self.archive(b"a\r\nb\r\n"), *bad)[0], 0, bad)

    def test_page_and_parts_of_each_producer(self):
        for name, (archive, page, parts) in mhtgen.producer_samples().items():
            with self.subTest(name):
                work = os.path.join(self.dir.name, name)
                os.mkdir(work)
                self.work = work
                status = run("mht", self.archive(archive), "--work", work, "--doc", "42")
                self.assertEqual(status, (0, b"", b""))
                self.assertEqual(mhtgen.page_lines(self.read("42.htm")), mhtgen.page_lines(page))
                written = os.listdir(os.path.join(work, "42.files")) if parts else []
                self.assertEqual(sorted(written), sorted(parts))
                # Raw and base64 resources: byte for byte what an independent decoder gives.
                reference = mhtgen.email_parts(archive)
                for file, location in parts.items():
                    self.assertEqual(self.read("42.files", file), reference[location], file)


if __name__ == "__main__":
    unittest.main()
