"""Writes a saved-page web archive for the benchmark: a large quoted-printable page and many
base64 image parts, about SIZE megabytes in all.

usage: make_archive.py OUT [MEGABYTES (default 100)] [PARTS (default 2000)]"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
import mhtgen  # noqa: E402


def page_html(size, rng):
    words = [b"lorem", b"ipsum", b"caf\xe9", b"=", b"\xd6\xd0\xce\xc4", b"dolor", b"x=3", b"amet"]
    out = [b"<html><head><title>bench</title></head><body>"]
    total = 0
    n = 0
    while total < size:
        line = b"<p>" + b" ".join(rng.choice(words) for _ in range(14)) + b"</p>"
        if n % 50 == 0:
            line += b'<img src="img/p%d.jpg">' % (n // 50)
        out.append(line)
        total += len(line) + 2
        n += 1
    out.append(b"</body></html>")
    return b"\r\n".join(out)


def main():
    out = sys.argv[1]
    megabytes = float(sys.argv[2]) if len(sys.argv) > 2 else 100
    parts = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
    rng = random.Random(1)
    total = int(megabytes * 1e6)
    page = page_html(total // 12, rng)  # about a tenth of the archive once encoded
    image_bytes = max(1, int((total - len(page) * 1.2) * 3 / 4 / parts))
    resources = [("http://site/dir/img/p%d.jpg" % i, "image/jpeg", rng.randbytes(image_bytes))
                 for i in range(parts)]
    with open(out, "wb") as f:
        f.write(mhtgen.saved_page(page, resources))


if __name__ == "__main__":
    main()
