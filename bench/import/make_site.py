#!/usr/bin/env python3
"""Writes the site of the page-import benchmark: a top page index.htm and about N resources
(600 by default) that a page save fetches, the same bytes on every run.

usage: bench/import/make_site.py OUT_DIR [--resources N] [--doc ID] [--css-urls N]

index.htm is a frameset page: its two frames are pages with their own images, and its
noframes body holds what an ordinary page does (images in img, body, table, td and input
tags, inline frames that are pages with their own images and style sheet), while its head
links style sheets and scripts. Every page lies one level below the top page, as deep as the
import goes. Image names clash on purpose (logo.gif in several folders, two inline frames
named page.htm), a few images are referenced twice, one style sheet carries a query, two
references are root-relative, and three anchors name pages that a page save must not fetch.

Besides the site, OUT_DIR/expected.tsv lists what importing index.htm into a working folder
with document ID (default 1) leaves there, one file a line:
    LOCAL<TAB>SOURCE<TAB>CHECK
LOCAL is the path in the working folder ("1.htm", "1.files/logo[2].gif"), SOURCE the served
file it comes from (relative to OUT_DIR), CHECK "same" when the saved bytes equal the served
ones and "text" for pages and scripts, which are saved as rewritten text.
"""
import argparse
import math
import os
import posixpath
import random

from images import image

SEED = "lorvex page-import bench"
IMAGE_KINDS = (".gif", ".gif", ".png", ".jpg", ".jpeg")
CLASH_NAMES = ("logo.gif", "bg.png", "photo.jpg", "arrow.gif", "banner.jpeg")
CLASHES = 3  # folders that each clashing name appears in
IMAGE_FOLDERS = ("img", "img/ui", "img/news", "img/shop", "img/photos", "img/icons")
SMALLEST, LARGEST_USUAL, BIG = 300, 30_000, (100_000, 200_000)
DUPLICATE_REFERENCES = 4  # img tags that repeat an earlier image
EXPECTED_FILE = "expected.tsv"


class Page:
    """One page being written, and the references it makes in document order."""

    def __init__(self, url):
        self.url = url  # site path, e.g. "frames/news/page.htm"
        self.refs = []  # (site path of the served file, reference as written)
        self.lines = []

    def ref(self, target, written=None):
        """Records a reference to the site file target; returns the text to write in the tag."""
        if written is None:
            written = posixpath.relpath(target, posixpath.dirname(self.url) or ".")
        self.refs.append((target, written))
        return written


class Site:
    def __init__(self, out, css_urls=0):
        self.out = out
        self.rng = random.Random(SEED)
        self.css_urls = css_urls  # background pictures each style sheet names by url()
        self.files = {}  # site path -> bytes
        self.expected = []  # (local, source, check)

    def add(self, path, data):
        assert path not in self.files, path
        self.files[path] = data

    def add_image(self, path, approx=None):
        if approx is None:
            # Log-uniform sizes: many small images, some tens of kilobytes.
            approx = int(math.exp(self.rng.uniform(math.log(SMALLEST), math.log(LARGEST_USUAL))))
        data, width, height = image(self.rng, os.path.splitext(path)[1], approx)
        self.add(path, data)
        return width, height

    def text_file(self, path, kind, approx):
        """A style sheet or a script of about approx bytes, with no tags; a style sheet names
        css_urls background pictures of its own (in its folder's bg/) by url()."""
        lines, size, k = [], 0, 0
        if kind == "css":
            stem = posixpath.splitext(posixpath.basename(path))[0]
            for n in range(self.css_urls):
                picture = "bg/%s-%d.png" % (stem, n)
                self.add_image(posixpath.join(posixpath.dirname(path), picture),
                               self.rng.randrange(SMALLEST, 3000))
                lines.append(".bg%d { background: url(%s) no-repeat; }" % (n, picture))
        while size < approx:
            if kind == "css":
                line = ".c%d-%d { color: #%06x; margin: %dpx %dpx; font-size: %d%%; }" % (
                    k, self.rng.randrange(1000), self.rng.randrange(1 << 24), self.rng.randrange(20),
                    self.rng.randrange(20), self.rng.randrange(80, 160))
            else:
                line = "function f%d_%d(a, b) { var t = a * %d + b; return t %% %d; }" % (
                    k, self.rng.randrange(1000), self.rng.randrange(1, 99), self.rng.randrange(2, 97))
            lines.append(line)
            size += len(line) + 1
            k += 1
        self.add(path, ("\n".join(lines) + "\n").encode())


def local_names(refs, folder):
    """Local names of a page's references as the import gives them: duplicates dropped, the
    k-th different URL with a given file name gets "[k]" before its extension."""
    seen, names, out = set(), {}, []
    for target, written in refs:
        if target in seen:
            continue
        seen.add(target)
        name = posixpath.basename(written.split("?")[0])
        names.setdefault(name, []).append(target)
        k = len(names[name])
        if k > 1:
            stem, ext = os.path.splitext(name)
            name = "%s[%d]%s" % (stem, k, ext)
        out.append((target, folder + "/" + name))
    return out


def sub_page(site, url, images):
    """A frame page with its own style sheet and images (two of them clashing by name)."""
    page = Page(url)
    stem = posixpath.splitext(url)[0]
    css = stem + "_style.css"
    site.text_file(css, "css", site.rng.randrange(500, 3000))
    page.lines += ["<html>", "<head>", "<title>%s</title>" % url,
                   '<link rel="stylesheet" type="text/css" href="%s">' % page.ref(css), "</head>", "<body>"]
    for k in range(images):
        if k == 0:
            path = stem + "_img/logo.gif"
        elif k == 1:
            path = stem + "_img/small/logo.gif"
        else:
            path = "%s_img/p%03d%s" % (stem, k, site.rng.choice(IMAGE_KINDS))
        width, height = site.add_image(path)
        page.lines.append('<p><img src="%s" width="%d" height="%d" alt="picture %d"></p>' % (
            page.ref(path), width, height, k))
    page.lines += ["</body>", "</html>"]
    return page


def plan(resources):
    """How many of each kind make up the resources (files saved besides the top page)."""
    frames, iframes = 2, max(2, resources // 100)
    pages = frames + iframes
    per_page = max(3, resources // 40)  # images of each sub-page
    sheets = scripts = max(1, resources // 40)
    top_images = resources - pages * (1 + 1 + per_page) - sheets - scripts
    if top_images < 20:
        raise SystemExit("--resources %d is too small (at least about 100)" % resources)
    return frames, iframes, per_page, sheets, scripts, top_images


def build(out, resources, doc, css_urls=0):
    site = Site(out, css_urls)
    frames, iframes, per_page, sheets, scripts, top_images = plan(resources)
    top = Page("index.htm")
    head = ["<html>", "<head>", "<title>Benchmark site</title>"]
    for k in range(1, sheets + 1):
        path = "css/s%02d.css" % k
        site.text_file(path, "css", site.rng.randrange(1000, 8000))
        written = top.ref(path, path + "?v=3" if k == 1 else None)
        head.append('<link rel="stylesheet" type="text/css" href="%s">' % written)
    for k in range(1, scripts + 1):
        path = "js/m%02d.js" % k
        site.text_file(path, "js", site.rng.randrange(1000, 10000))
        head.append('<script type="text/javascript" src="%s"></script>' % top.ref(path))
    head.append("</head>")

    pages = []
    frame_urls = ["frames/top.htm", "frames/main.htm"][:frames]
    iframe_urls = ["frames/news/page.htm", "frames/shop/page.htm"]
    iframe_urls += ["frames/box%d.htm" % k for k in range(3, iframes + 1)]
    body = ['<frameset rows="30%,*">']
    for url in frame_urls:
        pages.append(sub_page(site, url, per_page))
        body.append('<frame src="%s" name="%s">' % (top.ref(url), posixpath.basename(url)[:-4]))
    body += ["<noframes>"]

    # Image paths of the top page: a few clashing names across folders, a few big ones.
    paths = []
    for k in range(top_images):
        if k < CLASHES * len(CLASH_NAMES):
            name = CLASH_NAMES[k % len(CLASH_NAMES)]
            folder = IMAGE_FOLDERS[k // len(CLASH_NAMES)]
        else:
            name = "i%03d%s" % (k, site.rng.choice(IMAGE_KINDS))
            folder = site.rng.choice(IMAGE_FOLDERS)
        paths.append(folder + "/" + name)
    big = set(site.rng.sample(range(CLASHES * len(CLASH_NAMES), top_images), max(1, resources // 120)))
    sizes = {}
    for k, path in enumerate(paths):
        sizes[path] = site.add_image(path, site.rng.randrange(*BIG) if k in big else None)

    it = iter(paths)
    cells = top_images // 10
    body.append('<body background="%s">' % top.ref(next(it)))
    body.append('<table background="%s" width="100%%">' % top.ref(next(it)))
    row = []
    for k in range(cells):
        row.append('<td background="%s">cell %d</td>' % (top.ref(next(it)), k))
        if len(row) == 5 or k == cells - 1:
            body.append("<tr>" + "".join(row) + "</tr>")
            row = []
    body.append("</table>")
    body.append('<form action="search"><input type="image" src="%s" name="go"> '
                '<input type="image" src="%s" name="next"></form>' % (top.ref(next(it)), top.ref(next(it))))
    rooted = [next(it), next(it)]
    body.append('<p><img src="%s" alt="root-relative"> <img src="%s" alt="root-relative"></p>' % tuple(
        top.ref(path, "/" + path) for path in rooted))
    rest = list(it)
    step = max(1, len(rest) // (iframes + 1))
    for k, path in enumerate(rest):
        width, height = sizes[path]
        body.append('<p><img src="%s" width="%d" height="%d" alt="image %d"></p>' % (top.ref(path), width, height, k))
        if k % step == step - 1 and iframe_urls:
            url = iframe_urls.pop(0)
            pages.append(sub_page(site, url, per_page))
            body.append('<iframe src="%s" width="400" height="300"></iframe>' % top.ref(url))
        if k < DUPLICATE_REFERENCES:
            body.append('<p><img src="%s" alt="again"></p>' % top.ref(rest[0]))
    for url in iframe_urls:
        pages.append(sub_page(site, url, per_page))
        body.append('<iframe src="%s" width="400" height="300"></iframe>' % top.ref(url))
    for k in range(1, 4):
        about = "pages/about%d.htm" % k
        site.add_image("pages/about%d.gif" % k)
        site.add(about, ('<html><body><img src="about%d.gif"></body></html>\n' % k).encode())
        body.append('<p><a href="%s">About %d</a></p>' % (about, k))
    body += ["</body>", "</noframes>", "</frameset>", "</html>"]
    top.lines = head + body

    for page in [top] + pages:
        site.add(page.url, ("\n".join(page.lines) + "\n").encode())

    # What the import leaves in the working folder.
    top_folder = "%d.files" % doc
    site.expected.append(("%d.htm" % doc, "index.htm", "text"))
    by_url = {page.url: page for page in pages}
    for target, local in local_names(top.refs, top_folder):
        text = target in by_url or target.endswith(".js")
        site.expected.append((local, target, "text" if text else "same"))
        if target in by_url:
            sub_folder = local[:-len(".htm")] + ".files"
            for image_target, image_local in local_names(by_url[target].refs, sub_folder):
                site.expected.append((image_local, image_target, "same"))
    return site


def write(site):
    for path, data in site.files.items():
        full = os.path.join(site.out, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)
    with open(os.path.join(site.out, EXPECTED_FILE), "w") as f:
        for row in site.expected:
            f.write("\t".join(row) + "\n")


def main():
    parser = argparse.ArgumentParser(description="Writes the page-import benchmark site.")
    parser.add_argument("out")
    parser.add_argument("--resources", type=int, default=600)
    parser.add_argument("--doc", type=int, default=1)
    parser.add_argument("--css-urls", type=int, default=0,
                        help="background pictures each style sheet names by url()")
    args = parser.parse_args()
    site = build(args.out, args.resources, args.doc, args.css_urls)
    write(site)
    saved = len(site.expected) - 1
    size = sum(len(site.files[source]) for _, source, _ in site.expected)
    print("%s: %d resources besides index.htm, %d bytes to save; %d files served" % (
        args.out, saved, size, len(site.files)))


if __name__ == "__main__":
    main()
