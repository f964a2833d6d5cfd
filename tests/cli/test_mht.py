"""The native tool's mht command: the web archive import without the packing step."""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import browser  # noqa: E402
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

    def import_sample(self, name, archive):
        self.work = os.path.join(self.dir.name, name)
        os.mkdir(self.work)
        self.assertEqual(run("mht", self.archive(archive), "--work", self.work, "--doc", "42"),
                         (0, b"", b""))
        return self.work + "/42.files/"

    def test_parts_named_by_content_id_and_the_page_of_each_mail(self):
        # Natively the names are UTF-8.
        names = lambda entry: entry[1].encode()  # noqa: E731
        for name, (archive, page, refs) in mhtgen.cid_samples().items():
            with self.subTest(name):
                folder = self.import_sample(name, archive)
                # The page is the body that Python's email package picks, its references
                # pointing at the written parts.
                self.assertIn(mhtgen.page_lines(page),
                              [mhtgen.page_lines(mhtgen.email_body(archive, prefer) or b"")
                               for prefer in (("related", "html"), ("plain",))])
                self.assertEqual(mhtgen.page_lines(self.read("42.htm")),
                                 mhtgen.page_lines(mhtgen.expected_page(page, refs, folder, names)))
                written = sorted(os.listdir(folder)) if refs else []
                self.assertEqual(written, sorted(entry[1] for entry in refs.values()))
                # A name that the headers declare (encoded words, RFC 2231 sections) is the
                # one Python's email package reads.
                declared = mhtgen.email_names(archive)
                for key, file, _ in refs.values():
                    if key in declared:
                        self.assertEqual(file, declared[key], key)
                # Every part as Python decodes it; text parts as lines, with their own
                # references rewritten as the page's are.
                reference = mhtgen.email_parts_by_id(archive)
                for key, file, _ in refs.values():
                    data, expected = self.read("42.files", file), reference[key]
                    if file.endswith((".htm", ".css")):
                        self.assertEqual(mhtgen.page_lines(data), mhtgen.page_lines(
                            mhtgen.expected_part(expected, file, refs, folder, names)), file)
                    else:
                        self.assertEqual(data, expected, file)

    def test_pictures_and_frames_show_in_a_browser(self):
        samples = mhtgen.cid_samples()
        # Mail pictures, named in UTF-8 (a Chinese name among them) in a page whose own
        # charset is another, and the pictures of forwarded mail.
        for name, widths in (("cid-mail", [7, 11]), ("rfc2231", [9, 6, 4]),
                             ("forwarded-root", [9, 6, 4]), ("forwarded-attachment", [7, 11]),
                             ("short-boundary", [3, 5]), ("unencoded", [6]),
                             ("loose-quoted-printable", [8])):
            self.import_sample(name, samples[name][0])
            seen = browser.inspect(os.path.join(self.work, "42.htm"))
            self.assertEqual([width for _, width in seen["images"]], widths, name)
        self.import_sample("saved", samples["cid-browser"][0])
        seen = browser.inspect(os.path.join(self.work, "42.htm"))
        self.assertEqual([width for _, width in seen["images"]], [5])
        self.assertEqual([n for _, n in seen["sheets"]], [2])
        # The sheet's background picture, named by url(cid:...) in the archive.
        self.assertEqual([width for _, width in seen["backgrounds"]], [13])
        self.assertEqual([os.path.basename(f["url"] or "") for f in seen["frames"]],
                         ["part3.htm", "part4.htm"])
        self.assertEqual([width for _, width in seen["frames"][0]["images"]], [5])
        self.assertEqual(seen["requests"], [])


if __name__ == "__main__":
    unittest.main()
