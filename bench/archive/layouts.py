"""How many archives in each producer's layout give the expected page, for one build of the
`lorvex` tool: a saved page in the classic layout, a browser's single-file save, an office
program's single-file page, a mail with alternatives and attachments, a mail with 7bit and
8bit parts, a message without MIME headers. The expected page is the page's HTML for a saved
page and the first text part (the plain alternative) for a mail, compared line by line.
The parts column counts the archives whose every resource file equals what Python's email
package decodes for that part.

With --same-as OTHER_LORVEX, the classic-layout archives are also imported by the other build
and every file written is compared byte for byte.

usage: layouts.py LORVEX [--count N (default 100)] [--same-as OTHER_LORVEX]"""
import argparse
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
import mhtgen  # noqa: E402

WORDS = [b"lorem", b"ipsum", b"caf\xe9", b"=", b"a=b", b"\t", b"\xd6\xd0\xce\xc4", b"dolor", b"50%", b"x"]


def text(rng, lines):
    return b"\r\n".join(b" ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 12)))
                        for _ in range(lines))


def html(rng):
    return b"<html><body>\r\n" + text(rng, rng.randint(1, 30)).replace(b"<", b"") + b"\r\n</body></html>"


def images(rng, prefix, ext="gif"):
    return [("%s%d.%s" % (prefix, i, ext), "image/" + ext, rng.randbytes(rng.choice([0, 1, 5, 300, 5000])))
            for i in range(rng.randint(0, 4))]


def classic(rng):
    page = html(rng)
    resources = images(rng, "http://site/dir/img/p")
    archive = mhtgen.saved_page(page, resources)
    return archive, page, {loc.rsplit("/", 1)[1]: loc for loc, _, _ in resources}


def browser(rng):
    page = html(rng)
    resources = images(rng, "https://example.com/a/p", "png")
    archive, page = mhtgen.browser_save(page, resources)
    return archive, page, {loc.rsplit("/", 1)[1]: loc for loc, _, _ in resources}


def office(rng):
    page = html(rng)
    resources = images(rng, "image00", "png")
    archive, page = mhtgen.office_page(page, resources)
    return archive, page, {loc: "file:///C:/Docs/report_files/" + loc for loc, _, _ in resources}


def mail(rng):
    attachments = images(rng, "att")
    archive, page = mhtgen.mail_with_attachments(text(rng, rng.randint(1, 20)), html(rng), attachments)
    return archive, page, {name: name for name, _, _ in attachments}


def mail_7bit(rng):
    archive, page = mhtgen.mail_7bit_8bit(text(rng, rng.randint(1, 20)), html(rng))
    return archive, page, {"note.htm": "note.htm"}


def no_mime(rng):
    archive, page = mhtgen.plain_message(text(rng, rng.randint(1, 20)).replace(b"=", b"-"))
    return archive, page, {}


LAYOUTS = [("classic saved page", classic), ("browser save", browser), ("office page", office),
           ("mail, attachments", mail), ("mail, 7bit/8bit", mail_7bit), ("no MIME headers", no_mime)]


def import_archive(tool, archive, folder):
    source = os.path.join(folder, "in.mht")
    with open(source, "wb") as f:
        f.write(archive)
    work = os.path.join(folder, "work")
    os.mkdir(work)
    done = subprocess.run([tool, "mht", source, "--work", work, "--doc", "1"], capture_output=True,
                          timeout=60)
    files = {}
    for root, _, names in os.walk(work):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, work)] = f.read()
    return done.returncode, files


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("--count", type=int, default=100)
    parser.add_argument("--same-as")
    args = parser.parse_args()
    print("%-20s %8s %6s %6s" % ("layout", "archives", "page", "parts"))
    differing = 0
    for index, (name, build) in enumerate(LAYOUTS):
        rng = random.Random(index)
        pages = parts_ok = 0
        for _ in range(args.count):
            archive, page, parts = build(rng)
            with tempfile.TemporaryDirectory() as folder:
                status, files = import_archive(args.tool, archive, folder)
                if args.same_as and build is classic:
                    os.rename(os.path.join(folder, "work"), os.path.join(folder, "first"))
                    differing += import_archive(args.same_as, archive, folder) != (status, files)
            written = files.get("1.htm")
            pages += status == 0 and written is not None and mhtgen.page_lines(written) == mhtgen.page_lines(page)
            reference = mhtgen.email_parts(archive)
            parts_ok += status == 0 and all(files.get(os.path.join("1.files", f)) == reference[loc]
                                            for f, loc in parts.items())
        print("%-20s %8d %6d %6d" % (name, args.count, pages, parts_ok))
    if args.same_as:
        print("classic archives whose files differ from %s: %d" % (args.same_as, differing))
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
