#!/usr/bin/env python3
"""Writes a large HTML page for the link benchmark.

usage: gen_page.py OUT MEGABYTES [SEED]

The page is paragraphs of text between reference-bearing tags of every kind: images (some
sharing a file name across folders, so that clash numbering has work), style sheets,
scripts, embeds, frames and inline frames, anchors, a base tag now and then and charset
declarations, with LF and CR LF line breaks. About one reference-bearing tag per 150 bytes.
"""
import random
import sys


def main():
    out, megabytes = sys.argv[1], float(sys.argv[2])
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    target = int(megabytes * 1024 * 1024)
    words = "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor".split()
    hosts = ["http://img.example.test", "http://cdn%d.example.test" % 1, "", "../shared", "/static"]

    def url(ext, i):
        host = rng.choice(hosts)
        folder = "d%d" % (i % 997)
        name = rng.choice(["logo", "icon", "bg", "photo%d" % (i % 5003), "item%d" % i])
        return ("%s/%s/%s.%s" % (host, folder, name, ext)).lstrip("/") if host == "" else "%s/%s/%s.%s" % (
            host, folder, name, ext)

    def text():
        return " ".join(rng.choice(words) for _ in range(rng.randint(3, 14)))

    parts = ['<html><head><meta http-equiv="Content-Type" content="text/html; charset=UTF-8">\n',
             '<base href="http://www.example.test/section/">\n</head><body background="bg.gif">\n']
    size = sum(map(len, parts))
    i = 0
    while size < target:
        i += 1
        k = rng.random()
        if k < 0.40:
            tag = '<img src="%s" width=%d alt="%s">' % (url("gif" if i % 3 else "jpg", i), i % 640, text())
        elif k < 0.55:
            tag = '<a href="%s">%s</a>' % (url("htm", i), text())
        elif k < 0.62:
            tag = "<link rel=stylesheet href='%s'>" % url("css", i)
        elif k < 0.68:
            tag = '<script src="%s"></script>' % url("js", i)
        elif k < 0.72:
            tag = '<td background=%s>%s</td>' % (url("png", i), text())
        elif k < 0.75:
            tag = '<embed src="%s">' % url("swf", i)
        elif k < 0.78:
            tag = '<iframe src="%s"></iframe><frame src="%s">' % (url("html", i), url("php", i))
        elif k < 0.79:
            tag = '<meta charset="%s">' % rng.choice(["utf-8", "gb2312"])
        elif k < 0.795:
            tag = '<base href="http://h%d.example.test/b/">' % (i % 13)
        elif k < 0.85:
            tag = '<IMG SRC=%s>' % url("PNG", i)
        else:
            tag = "<p class=c%d>%s <b>%s</b>" % (i % 7, text(), text())
        piece = tag + " " + text() + ("\r\n" if i % 2 else "\n")
        parts.append(piece)
        size += len(piece)
    parts.append("</body></html>\n")
    with open(out, "w", newline="") as f:
        f.write("".join(parts))


if __name__ == "__main__":
    main()
