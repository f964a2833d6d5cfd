"""The plug-in boundary end to end: lorvex-host loads lorvex.dll, which packs through
morquill.dll into the host stream."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from lorvexhost import HostTestCase, run_host, winpath, zip_entries  # noqa: E402

BLANK = b"<HTML>\r\n<HEAD>\r\n<TITLE></TITLE>\r\n</HEAD>\r\n<BODY>\r\n</BODY>\r\n</HTML>\r\n"
DOT = b"\xa1\xa4"


class Listing(HostTestCase):
    def test_lists_the_three_extensions(self):
        status, out, _ = run_host("list")
        self.assertEqual(status, 0)
        rows = [line.split("\t") for line in out.splitlines()]
        self.assertEqual([r[:4] for r in rows], [
            ["0", "1", "Import HTML Files", "Import HTML Files"],
            ["1", "1", "Import MHT,EML Files", "Import MHT,EML Files"],
            ["2", "1", "Convert HTML to Text", "Convert HTML to Text"],
        ])
        self.assertEqual({r[4] for r in rows}, {rows[0][4]})
        self.assertEqual([r[5:] for r in rows], [
            ["V1.00", "HTML Files(*.htm;*.html)|*.htm;*.html"],
            ["V1.00", "Web archive(*.mht;*.eml)|*.mht;*.eml"],
            ["V1.00", "HTML -> Text(*.htm;*.html)|*.htm;*.html"],
        ])


class ConvertToText(HostTestCase):
    def convert(self, page, *extra):
        source = self.write("page.htm", page)
        out = self.path("out.zip")
        status, text, _ = run_host("run", "--index", "2", "--file", winpath(source),
                                   "--work", winpath(self.dir), "--doc", "9",
                                   "--out", winpath(out), *extra)
        self.assertEqual(status, 0)
        return text.strip(), zip_entries(out)

    def test_page_becomes_packed_text_lines(self):
        page = (b"<html><head><style>b{}</style><title>T</title></head>\n"
                b"<body><p>Caf\xe9 &amp; tea\r\n<ul><li>one</li><li>two</li></ul>"
                b"<table><tr><td>a</td><td>b</td></tr></table>\r"
                b"<script>x=\"</p>\"</script>\xd6\xd0\xce\xc4<br>end")
        result, entries = self.convert(page)
        self.assertEqual(result, "result=true ispage=false")
        self.assertEqual(list(entries), ["document"])
        # Source line breaks (LF, CR) are CR LF before conversion, so they vanish with the rest.
        self.assertEqual(entries["document"],
                         b"\r\n\r\nCaf\xe9 & tea\r\n" + DOT + b"one\r\n" + DOT + b"two\r\n"
                         b"\r\na\tb\t\r\n\xd6\xd0\xce\xc4\r\nend\r\n")

    def test_every_pack_mode_gives_a_valid_archive(self):
        page = b"<p>" + b"lorem ipsum " * 20000
        for mode in ("0", "1", "9", "255"):
            result, entries = self.convert(page, "--pack-mode", mode)
            self.assertEqual(result, "result=true ispage=false", mode)
            self.assertEqual(entries["document"], b"\r\n\r\n" + b"lorem ipsum " * 20000 + b"\r\n")

    def test_empty_page_gives_an_empty_document(self):
        result, entries = self.convert(b"")
        self.assertEqual(result, "result=true ispage=false")
        self.assertEqual(entries, {"document": b""})

    def test_missing_file_fails_with_nothing_packed(self):
        out = self.path("out.zip")
        status, text, _ = run_host("run", "--index", "2", "--file", winpath(self.path("no.htm")),
                                   "--work", winpath(self.dir), "--doc", "1", "--out", winpath(out))
        self.assertEqual((status, text.strip()), (0, "result=false ispage=false"))
        self.assertEqual(os.path.getsize(out), 0)

    def test_unknown_index_fails(self):
        source = self.write("page.htm", b"<p>x")
        status, text, _ = run_host("run", "--index", "5", "--file", winpath(source),
                                   "--work", winpath(self.dir), "--doc", "1")
        self.assertEqual((status, text.strip()), (0, "result=false ispage=true"))


class BlankPage(HostTestCase):
    def blank(self, template):
        out = self.path("blank.zip")
        status, _, _ = run_host("blank", "--template", winpath(template), "--out", winpath(out))
        self.assertEqual(status, 0)
        return zip_entries(out)

    def test_built_in_page_without_template(self):
        self.assertEqual(self.blank(self.path("empty")), {"document": BLANK})

    def test_template_bytes_are_used_unchanged(self):
        template = b"<html>\n<body bgcolor=white>\r\n\x00\xff</body>"  # no final line break
        self.write(os.path.join("tpl", "blank.htm"), template)
        self.assertEqual(self.blank(self.path("tpl")), {"document": template})
        self.assertEqual(self.blank(self.path("tpl") + "/"), {"document": template})


class Arguments(HostTestCase):
    def test_bad_arguments_exit_non_zero(self):
        self.assertEqual(run_host("run", "--index")[0], 2)
        self.assertEqual(run_host("run", "--index", "x", "--file", "a", "--work", "b",
                                  "--doc", "1")[0], 2)
        self.assertEqual(run_host("frobnicate")[0], 2)
        self.assertEqual(run_host("blank", "--template", "x", "--out",
                                  winpath(self.path("no", "such", "folder.zip")))[0], 2)


if __name__ == "__main__":
    unittest.main()
