#!/usr/bin/env python3
"""Writes a large, realistic HTML page for the text-conversion benchmark: a portal page with
style blocks, scripts (strings, comments), navigation lists, link-heavy paragraphs with
entities, data tables and preformatted blocks, repeated with varying content.

usage: make_page.py OUT MEGABYTES
"""
import random
import sys

WORDS = ("archive document page mail folder picture import host library market river "
         "garden station letter report season harbour village signal window engine "
         "paper \xd6\xd0\xce\xc4 \xca\xfd\xbe\xdd \xcd\xbc\xc6\xac").split()


def words(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n))


def section(rng, i):
    parts = []
    parts.append('<style type="text/css">\n.s%d { color: #%06x; margin: 0 4px; }\n'
                 'a.s%d:hover { text-decoration: underline; }\n</style>\n' % (i, rng.randrange(1 << 24), i))
    parts.append('<script type="text/javascript">\nvar msg%d = "a </p> in a string &amp; more";\n'
                 '<!-- if (x < 3) { document.write("<b>old</b>"); } -->\n'
                 'function f%d(a) { return a > 2 ? "x" : \'y\'; }\n</script>\n' % (i, i))
    parts.append('<div class="nav"><ul>\n')
    for j in range(8):
        parts.append('<li><a href="http://site%d.example/%s/%d.htm" class="s%d">%s</a></li>\n'
                     % (i % 97, rng.choice(WORDS[:20]), j, i, words(rng, 2)))
    parts.append('</ul></div>\n<h2>%s</h2>\n' % words(rng, 4))
    for _ in range(4):
        parts.append('<p class="body">%s &nbsp;%s&amp;%s &quot;%s&quot; &copy; 2026 &trade; '
                     '<a href="/path/%d.htm">%s</a> &#169; &eacute;t&eacute;\r\n%s</p>\n'
                     % (words(rng, 12), words(rng, 3), words(rng, 2), words(rng, 3), rng.randrange(10**6),
                        words(rng, 3), words(rng, 15)))
    parts.append('<table border="1" cellpadding="2">\n')
    for r in range(6):
        parts.append("<tr>" + "".join("<td>%s</td>" % words(rng, 2) for _ in range(5)) + "</tr>\n")
    parts.append("</table>\n<hr size=1>\n")
    if i % 5 == 0:
        parts.append("<pre>\n%s\n  %s\n</pre>\n" % (words(rng, 8), words(rng, 8)))
    return "".join(parts)


def main():
    out, megabytes = sys.argv[1], float(sys.argv[2])
    rng = random.Random(7)
    target = int(megabytes * 1e6)
    written = 0
    with open(out, "w", encoding="latin-1", newline="\n") as f:
        head = "<html>\n<head>\n<title>Benchmark portal</title>\n</head>\n<body>\n"
        f.write(head)
        written += len(head)
        i = 0
        while written < target:
            chunk = section(rng, i)
            f.write(chunk)
            written += len(chunk)
            i += 1
        f.write("</body>\n</html>\n")


if __name__ == "__main__":
    main()
