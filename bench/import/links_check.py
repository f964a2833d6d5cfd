#!/usr/bin/env python3
"""Counts how the references of a saved page resolve: every src, href, background, poster and
srcset value of its tags (and of the pages saved in its resource folders), by what it points
at once the page has left the site.

usage: bench/import/links_check.py WORK_DIR PAGE

WORK_DIR is the folder the import wrote, PAGE the saved page in it ("1.htm"). A value resolves
when it is an in-page fragment, a local file that exists beside the page, or an address on the
web that answers 200 (asked while the site still runs). A relative value
that names no file here is "broken": in the saved copy it points at nothing. Anchors to other
pages count like the rest. Prints one line per class with its count, and the broken values.
Standard library only.
"""
import argparse
import html.parser
import os
import sys
import urllib.error
import urllib.parse
import urllib.request

ATTRIBUTES = {"src", "href", "background", "poster"}


class Values(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.values = []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if value is None:
                continue
            if name in ATTRIBUTES:
                self.values.append(value.strip())
            elif name == "srcset":
                self.values += [c.strip().split()[0] for c in value.split(",") if c.strip()]


def answers(url, cache={}):
    if url not in cache:
        try:
            with urllib.request.urlopen(url, timeout=10) as reply:
                cache[url] = reply.status == 200
        except (urllib.error.URLError, ValueError, OSError):
            cache[url] = False
    return cache[url]


def classify(value, folder):
    if not value or value.startswith("#"):
        return "fragment"
    scheme = urllib.parse.urlsplit(value).scheme.lower()
    if scheme in ("http", "https"):
        return "web" if answers(value) else "web, no answer"
    if scheme in ("data", "javascript", "mailto", "about", "cid"):
        return "other scheme"
    path = urllib.parse.unquote(value.split("#")[0].split("?")[0]) if "%" in value else \
        value.split("#")[0]
    return "local" if os.path.isfile(os.path.join(folder, path)) else "broken"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("work")
    parser.add_argument("page")
    args = parser.parse_args()
    counts, broken = {}, []
    pages = [os.path.join(args.work, args.page)]
    for root, _, files in os.walk(args.work):
        pages += [os.path.join(root, f) for f in files
                  if f.endswith((".htm", ".html")) and os.path.join(root, f) != pages[0]]
    for page in pages:
        parser_ = Values()
        with open(page, "rb") as f:
            parser_.feed(f.read().decode("latin-1"))
        for value in parser_.values:
            kind = classify(value, os.path.dirname(page))
            counts[kind] = counts.get(kind, 0) + 1
            if kind in ("broken", "web, no answer"):
                broken.append("%s: %s" % (os.path.relpath(page, args.work), value))
    total = sum(counts.values())
    resolved = total - counts.get("broken", 0) - counts.get("web, no answer", 0)
    print("references %d, resolving %d" % (total, resolved))
    for kind in sorted(counts):
        print("  %-16s %d" % (kind, counts[kind]))
    for line in broken:
        print("  broken " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
