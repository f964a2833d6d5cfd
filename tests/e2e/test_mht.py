"""The web archive import end to end: lorvex-host runs extension 1, lorvex.dll reads the
archive and writes the page and its parts, morquill.dll packs them into the host stream."""
import base64
import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from lorvexhost import HostTestCase, run_host, winpath, zip_entries  # noqa: E402
import browser  # noqa: E402
import mhtgen  # noqa: E402

CRLF = b"\r\n"
# Markup with no reference-bearing tag: link rewriting leaves it as it is.
PAGE = (b"<html><head><title>Caf\xe9 = =3D</title></head>\r\n"
        b"<body><p>" + b"long line of text with tabs\tand = signs " * 8 + b"</p>\r\n"
        b"<p>\xd6\xd0\xce\xc4 trailing space </p></body></html>")


def ansi_code_page():
    """The ANSI code page of the test prefix, as Python names it (cp1252 when not found)."""
    prefix = os.environ.get("WINEPREFIX") or os.path.join(os.path.dirname(__file__), "..", "..",
                                                          "build", "wineprefix")
    try:
        with open(os.path.join(prefix, "system.reg"), encoding="latin-1") as f:
            found = re.search(r'^"ACP"="(\d+)"', f.read(), re.M)
        return "cp" + found.group(1) if found else "cp1252"
    except OSError:
        return "cp1252"


class ImportMht(HostTestCase):
    def run_import(self, archive, work=None, doc="15"):
        source = self.write("in.mht", archive)
        work = work or self.path("work")
        out = self.path("out.zip")
        status, text, _ = run_host("run", "--index", "1", "--file", winpath(source),
                                   "--work", winpath(work), "--doc", doc, "--out", winpath(out))
        self.assertEqual(status, 0)
        return text.strip(), zip_entries(out)

    def setUp(self):
        super().setUp()
        os.mkdir(self.path("work"))

    def test_saved_page_matches_an_independent_decoder(self):
        images = [("http://site/dir/img/a%d.gif" % i, "image/gif", mhtgen.random_bytes(n, i))
                  for i, n in enumerate([0, 1, 2, 3, 57, 4096, 100_003])]
        resources = images + [("http://site/dir/style.css", "text/css", b"body{color:red}\r\n"),
                              ("http://site/dir/readme.txt", "text/plain", b"not a resource")]
        archive = mhtgen.saved_page(PAGE, resources)
        result, entries = self.run_import(archive)
        self.assertEqual(result, "result=true ispage=true")
        expected = {"15.files/a%d.gif" % i for i in range(len(images))} | {"15.files/style.css"}
        self.assertEqual(set(entries), expected | {"15.htm"})
        reference = mhtgen.email_parts(archive)
        for location, _, data in images:
            name = "15.files/" + location.rsplit("/", 1)[1]
            self.assertEqual(entries[name], data, name)
            self.assertEqual(entries[name], reference[location], name)
        self.assertEqual(entries["15.files/style.css"], b"body{color:red}\r\n")
        # The page: the empty line after its headers, the decoded text and the line break that
        # belongs to the delimiter, as CR LF lines.
        page = reference["http://site/dir/index.htm"]
        self.assertEqual(page, PAGE + CRLF)
        self.assertEqual(entries["15.htm"], CRLF + page + CRLF)

    def test_page_links_point_into_the_parts_folder(self):
        html = b'<html><body><img src="img/logo.gif"><a href="next.htm">n</a></body></html>'
        archive = mhtgen.saved_page(html, [("http://site/dir/img/logo.gif", "image/gif", b"GIF89a")])
        work = self.path("work")
        result, entries = self.run_import(archive)
        self.assertEqual(result, "result=true ispage=true")
        folder = winpath(work).replace("\\", "/") + "/15.files/"
        self.assertEqual(entries["15.htm"], CRLF + html.replace(b"img/logo.gif", folder.encode() + b"logo.gif")
                         .replace(b"next.htm", b"http://site/dir/next.htm") + CRLF + CRLF)
        self.assertEqual(entries["15.files/logo.gif"], b"GIF89a")

    def test_random_base64_parts_match_pythons_base64(self):
        resources = []
        for i in range(40):
            data = mhtgen.random_bytes(i * 37 + (i % 4), 1000 + i)
            resources.append(("r%d.png" % i, "image/png", data))
        archive = mhtgen.saved_page(b"<p>x</p>", resources, page_location="p.htm")
        result, entries = self.run_import(archive, doc="-7")
        self.assertEqual(result, "result=true ispage=true")
        for location, _, data in resources:
            encoded = base64.b64encode(data)
            self.assertEqual(entries["-7.files/" + location], base64.b64decode(encoded), location)

    def test_mail_with_nested_alternatives_and_attachment(self):
        gif = mhtgen.random_bytes(300, 5)
        archive = mhtgen.mail_message(b"Hello =\xe9", b"<b>Hello</b>", "pic.gif", gif)
        result, entries = self.run_import(archive)
        self.assertEqual(result, "result=true ispage=true")
        self.assertEqual(set(entries), {"15.htm", "15.files/pic.gif"})
        # The text/plain part is the page, from the empty line after its headers on.
        self.assertEqual(entries["15.htm"], CRLF + b"Hello =\xe9" + CRLF + CRLF)
        # After the nested list the outer delimiter still ends the attachment.
        self.assertEqual(entries["15.files/pic.gif"], gif)
        self.assertEqual(entries["15.files/pic.gif"], mhtgen.email_parts(archive)["pic.gif"])

    def test_each_producer_layout(self):
        for name, (archive, page, parts) in mhtgen.producer_samples().items():
            with self.subTest(name):
                os.mkdir(self.path(name))  # a fresh work folder: the import never empties one
                result, entries = self.run_import(archive, work=self.path(name))
                self.assertEqual(result, "result=true ispage=true")
                self.assertEqual(mhtgen.page_lines(entries["15.htm"]), mhtgen.page_lines(page))
                self.assertEqual(set(entries), {"15.htm"} | {"15.files/" + f for f in parts})
                reference = mhtgen.email_parts(archive)
                for file, location in parts.items():
                    self.assertEqual(entries["15.files/" + file], reference[location], file)

    def test_parts_named_by_content_id_and_the_page_of_each_mail(self):
        # A name is written in the system's ANSI code page; one it cannot hold falls back to
        # the part's position.
        def names(entry):
            try:
                return entry[1].encode(ansi_code_page())
            except UnicodeEncodeError:
                return entry[2].encode()
        for name, (archive, page, refs) in mhtgen.cid_samples().items():
            with self.subTest(name):
                work = self.path(name)
                os.mkdir(work)
                result, entries = self.run_import(archive, work=work)
                self.assertEqual(result, "result=true ispage=true")
                folder = winpath(work).replace("\\", "/") + "/15.files/"
                self.assertEqual(mhtgen.page_lines(entries["15.htm"]),
                                 mhtgen.page_lines(mhtgen.expected_page(page, refs, folder, names)))
                files = {"15.files/" + names(entry).decode("cp437") for entry in refs.values()}
                self.assertEqual(set(entries), {"15.htm"} | files)
                reference = mhtgen.email_parts_by_id(archive)
                for entry in refs.values():
                    data = entries["15.files/" + names(entry).decode("cp437")]
                    if entry[1].endswith((".htm", ".css")):
                        self.assertEqual(mhtgen.page_lines(data), mhtgen.page_lines(
                            mhtgen.expected_part(reference[entry[0]], entry[1], refs, folder,
                                                 names)))
                    else:
                        self.assertEqual(data, reference[entry[0]], entry)

    def test_pictures_show_in_a_browser(self):
        # The page names its parts by their Windows paths on Wine's Z: drive; the browser on
        # the Linux side reads the same files through file:///.
        samples = mhtgen.cid_samples()
        for name, widths in (("cid-mail", [7, 11]), ("rfc2231", [9, 6, 4]),
                             ("forwarded-root", [9, 6, 4]), ("forwarded-attachment", [7, 11]),
                             ("short-boundary", [3, 5]), ("unencoded", [6]),
                             ("loose-quoted-printable", [8])):
            with self.subTest(name):
                work = self.path(name)
                os.mkdir(work)
                result, _ = self.run_import(samples[name][0], work=work)
                self.assertEqual(result, "result=true ispage=true")
                with open(os.path.join(work, "15.htm"), "rb") as f:
                    page = f.read().replace(b"Z:/", b"file:///")
                seen_page = os.path.join(work, "seen.htm")
                with open(seen_page, "wb") as f:
                    f.write(page)
                seen = browser.inspect(seen_page)
                self.assertEqual([width for _, width in seen["images"]], widths)

    def test_header_names_in_odd_case(self):
        archive = mhtgen.saved_page(b"<p>odd</p>", [("x/y/z.JPG", "image/jpeg", b"\x00\xff\x10")],
                                    case=lambda name: "".join(
                                        c.upper() if i % 2 else c.lower() for i, c in enumerate(name)))
        self.assertIn(b"cOnTeNt-tRaNsFeR-EnCoDiNg", archive)
        result, entries = self.run_import(archive)
        self.assertEqual(result, "result=true ispage=true")
        self.assertEqual(entries["15.files/z.JPG"], b"\x00\xff\x10")
        self.assertEqual(entries["15.htm"], CRLF + b"<p>odd</p>" + CRLF + CRLF)

    def test_boundary_without_quotes_saves_the_archive_whole(self):
        archive = mhtgen.saved_page(b"<p>q=3D</p>", [("a.gif", "image/gif", b"GIF")], quote="")
        result, entries = self.run_import(archive)
        self.assertEqual(result, "result=true ispage=true")
        self.assertEqual(list(entries), ["15.htm"])
        self.assertEqual(entries["15.htm"], archive)  # already CR LF lines

    def test_missing_work_folder_packs_nothing_and_reports_false(self):
        archive = mhtgen.saved_page(b"<p>x</p>", [("a.gif", "image/gif", b"GIF")])
        result, entries = self.run_import(archive, work=self.path("missing", "work"))
        self.assertEqual(result, "result=false ispage=true")
        self.assertIsNone(entries)
        self.assertFalse(os.path.exists(self.path("missing")))

    def test_unsafe_part_names_are_skipped(self):
        archive = mhtgen.saved_page(b"<p>x</p>", [
            ("http://h/con.gif", "image/gif", b"1"), ("http://h/a%3Fb.gif", "image/gif", b"2"),
            ("http://h/..%5C..%5Cescape.gif", "image/gif", b"3"), ("http://h/ok.gif", "image/gif", b"4")])
        result, entries = self.run_import(archive)
        self.assertEqual(result, "result=true ispage=true")
        self.assertEqual(set(entries), {"15.htm", "15.files/escape.gif", "15.files/ok.gif"})
        self.assertEqual(entries["15.files/ok.gif"], b"4")
        self.assertFalse(os.path.exists(self.path("escape.gif")))

    def test_unreadable_archive_reports_false(self):
        out = self.path("out.zip")
        status, text, _ = run_host("run", "--index", "1", "--file", winpath(self.path("none.mht")),
                                   "--work", winpath(self.path("work")), "--doc", "1",
                                   "--out", winpath(out))
        self.assertEqual((status, text.strip()), (0, "result=false ispage=true"))


if __name__ == "__main__":
    unittest.main()
