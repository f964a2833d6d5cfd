"""The HTML tokenizer's start tags against html5lib's, on random markup and on real pages.

html5lib (Debian's python3-html5lib) parses with scripting on; its parser switches its tokenizer
into the raw-text states, so the start tags it yields, in order and with their attributes (the
first of a repeated name), are what a browser's tokenizer reads. html-tokens prints ours.

What the tokenizer leaves to the tree, and what this html5lib predates, stays out of the random
markup: select and frameset (where the tree ignores tags), end tags inside svg/math that would
close HTML elements opened outside them, and "</p>" or "</br>" inside svg/math (which this
html5lib reads by older rules). One rule of html5lib is mended as a browser has it: an end tag
closes only HTML elements of its name, so "</desc>" does not close svg's desc from inside an
HTML element.
"""
import glob
import os
import random
import subprocess
import sys
import tempfile
import unittest

try:
    import html5lib
except ImportError:  # Debian's package, under another Python of the same version
    sys.path.append("/usr/lib/python3/dist-packages")
    import html5lib
from html5lib import _tokenizer, constants

TOOL = os.environ.get("LORVEX_HTML_TOKENS", "html-tokens")
START_TAG = constants.tokenTypes["StartTag"]


def end_tag_in_body(phase, token):
    """html5lib's "any other end tag" in body, matching HTML elements only."""
    for node in phase.tree.openElements[::-1]:
        if node.name == token["name"] and node.namespace == constants.namespaces["html"]:
            phase.tree.generateImpliedEndTags(exclude=token["name"])
            while phase.tree.openElements.pop() != node:
                pass
            break
        if node.nameTuple in constants.specialElements:
            break


# The phase classes are made once and shared by every parser.
vars(type(html5lib.HTMLParser().phases["inBody"]))["endTagHandler"].default = end_tag_in_body


def escape(data):
    return "".join(chr(b) if 0x20 <= b <= 0x7E and b not in b"\\=" else "\\x%02X" % b
                   for b in data)


def tag_line(name, attributes):
    parts = [escape(name.encode())]
    parts += [escape(k.encode()) + "=" + escape(v.encode("utf-8", "surrogatepass"))
              for k, v in attributes]
    return "\t".join(parts)


def html5lib_tags(text):
    """The start tags html5lib's tokenizer yields while its parser reads text."""
    lines = []
    plain_iter = _tokenizer.HTMLTokenizer.__iter__

    def recording_iter(tokenizer):
        for token in plain_iter(tokenizer):
            if token["type"] == START_TAG:
                lines.append(tag_line(token["name"], token["data"].items()))
            yield token

    _tokenizer.HTMLTokenizer.__iter__ = recording_iter
    try:
        html5lib.HTMLParser().parse(text, scripting=True)
    finally:
        _tokenizer.HTMLTokenizer.__iter__ = plain_iter
    return lines


def our_tags(pages):
    """html-tokens' lines for each page (bytes), in one run."""
    with tempfile.TemporaryDirectory() as folder:
        names = []
        for i, page in enumerate(pages):
            names.append(os.path.join(folder, "%d.html" % i))
            with open(names[-1], "wb") as f:
                f.write(page)
        result = subprocess.run([TOOL, *names], capture_output=True, timeout=300)
    assert result.returncode == 0, result.stderr
    runs = [[]]
    for line in result.stdout.decode("ascii").split("\n")[:-1]:
        if line == ".":
            runs.append([])
        else:
            runs[-1].append(line)
    assert len(runs) == len(pages) + 1 and not runs[-1], "one run per page"
    return runs[:-1]


# --- Random markup ---------------------------------------------------------------------------

NAMES = ["a", "div", "p", "b", "i", "img", "span", "table", "td", "tr", "ul", "li", "font",
         "br", "h1", "pre", "form", "input", "button", "image", "template", "body", "html",
         "head", "meta", "link", "A", "DiV", "Img", "x-y", "a:b"]
ATTRIBUTE_NAMES = ["href", "src", "HREF", "class", "id", "style", "srcset", "data-x", "x",
                   "Src", "'q", '"q', "<x", "=y", "a=", "color", "size"]
TEXTS = ["hello", " ", "\t", "\n", "\r\n", "\r", "&amp;", "&AMP", "&notin;", "&notit;", "&not",
         "&not=", "&copy", "&copyx", "&#x41;", "&#65", "&#X2F;", "&#128;", "&#x9D;", "&#0;",
         "&#xD800;", "&#1114112;", "&#99999999999;", "&#;", "&#x;", "&", "&;", "&zz;",
         "&NotNestedLessLess;", "&lt", "<", ">", "\u00e9", "\u4e2d", "'", '"', "/", "=", "`",
         "\f"]
COMMENTS = ["<!-- x -->", "<!-->", "<!--->", "<!---->", "<!-- a --!>", "<!-- <a href=x> -->",
            "<!--<!-- -->", "<!-- a -- b -->", "<!--a--!-->", "<?xml x?>", "<!x>", "</ x>",
            "</>", "</3>", "<!DOCTYPE html>", "<!doctype x \"a>b\">", "<![CDATA[ <a> ]]>",
            "<!", "< a>", "<3", "<!--", "<!-- x", "<!DOCTYPE"]
RAW_CONTENT = ["x", "<a href=1>", "</styl", "</style ", "</STYLE>", "</title x=\">\">", "&amp;",
               "<!--", "-->", "</script", "</xmp/", "</textarea\t", "<b>", "</", "\r\n"]
SCRIPT_CONTENT = ["<!--", "<script>", "</script>", "-->", "<b>", "--", "<!-->", "<SCRIPT ",
                  "</script ", "x", "<scriptx>", "</scriptx>", "-", ">", "<", "<!-", "<script/"]
RAW_ELEMENTS = ["style", "xmp", "iframe", "noembed", "noframes", "noscript", "textarea", "title",
                "STYLE", "Title"]
SVG_LEAVES = ["<g>", "<path/>", "<G id=1>", "<style/>", "<script/>", "<svg/>", "<math/>",
              "<textarea>", "<noscript>", "<xmp>", "<font>", "<math>", "</g>", "</path>",
              "<![CDATA[<b>]]>", "<![CDATA[x"]
MATH_LEAVES = ["<mglyph>", "<malignmark/>", "<mrow>", "<svg>", "</mrow>", "<annotation-xml>",
               "<annotation-xml encoding=x>", "<![CDATA[<b>]]>", "<textarea>"]
# svg and math elements whose start tags are HTML ones, with the text that opens them.
SVG_POINTS = [("foreignobject", "<foreignObject>"), ("desc", "<desc>"), ("title", "<title>")]
MATH_POINTS = [("mi", "<mi>"), ("mtext", "<MTEXT>"), ("annotation-xml",
               "<annotation-xml encoding=\"text/html\">"),
               ("annotation-xml", "<annotation-xml encoding=Application/XHTML+XML>")]
BREAKOUTS = ["<p>", "<div>", "<img>", "<br/>", "<font color=red>", "<FONT SIZE=1>", "<b>",
             "<table>", "<ul>", "<h1>", "<pre>", "<span>"]
HTML_IN_POINT = ["<img>", "<br>", "<p>x</p>", "<b>x</b>", "<div><i>x</i></div>", "x", "&amp;",
                 "<style>x<i>y</style>", "<script><!--<script></script><i>--></script>",
                 "<textarea><b></textarea>", "<TITLE><i></title>", "<noscript><b></noscript >",
                 "<![CDATA[<i>]]>", "<style>x", "<plaintext>"]


class Soup:
    def __init__(self, seed):
        self.rng = random.Random(seed)

    def pick(self, items):
        return self.rng.choice(items)

    def space(self):
        return self.pick(["", " ", "  ", "\t", "\n", "\r\n", "\f"])

    def value(self):
        body = "".join(self.pick(TEXTS + ["<", ">", "x y"]) for _ in range(self.rng.randint(0, 4)))
        quote = self.pick(['"', "'", ""])
        if quote:
            return quote + body.replace(quote, "") + quote
        return "".join(c for c in body if c not in " \t\n\r\f>") or "v"

    def attributes(self):
        out = ""
        for _ in range(self.rng.randint(0, 4)):
            out += self.pick([" ", "\t", "\n", "/", " / ", "\r\n"])
            out += self.pick(ATTRIBUTE_NAMES)
            if self.rng.random() < 0.8:
                out += self.space() + "=" + self.space() + self.value()
        return out

    def start_tag(self, names=NAMES):
        end = self.pick([">", ">", "/>", " />", " >"])
        return "<" + self.pick(names) + self.attributes() + end

    def raw_element(self):
        name = self.pick(RAW_ELEMENTS)
        content = "".join(self.pick(RAW_CONTENT + TEXTS[:6]) for _ in range(self.rng.randint(0, 5)))
        close = self.pick(["</%s>" % name.lower(), "</%s >" % name.upper(), "</%s/>" % name,
                           "</%s x='>'>" % name, ""])
        return self.start_tag([name]) + content + close

    def script(self):
        content = "".join(self.pick(SCRIPT_CONTENT) for _ in range(self.rng.randint(0, 8)))
        return self.pick(["<script>", "<SCRIPT type=x>"]) + content + self.pick(
            ["</script>", "</SCRIPT >", "</script/>", ""])

    def foreign(self, depth=0):
        """An svg or math element with its contents; it may end at an HTML element that ends
        foreign content. HTML inside svg/math is closed where it opens."""
        math = self.rng.random() < 0.4
        root = "math" if math else self.pick(["svg", "SVG"])
        parts = ["<%s%s>" % (root, self.attributes())]
        for _ in range(self.rng.randint(0, 8)):
            roll = self.rng.random()
            if roll < 0.08:
                return "".join(parts) + self.pick(BREAKOUTS)
            if roll < 0.45:
                parts.append(self.pick(MATH_LEAVES if math else SVG_LEAVES))
            elif roll < 0.60:
                name = self.pick(["style", "script", "STYLE"])
                parts.append("<%s>%s</%s>" % (name, self.pick(["<g>", "a{}", "x<rect/>y"]), name))
            elif roll < 0.85:
                name, start = self.pick(MATH_POINTS if math else SVG_POINTS)
                inner = [self.pick(HTML_IN_POINT) for _ in range(self.rng.randint(0, 2))]
                if depth < 2 and self.rng.random() < 0.3:
                    inner.append(self.foreign(depth + 1))
                parts.append(start + "".join(inner) + "</%s>" % name)
            else:
                parts.append(self.pick(TEXTS[:10]))
        parts.append("</%s>" % root.lower())
        return "".join(parts)

    def piece(self):
        roll = self.rng.random()
        if roll < 0.35:
            return self.start_tag()
        if roll < 0.45:
            # no "</p>" or "</br>": a quote left open may carry them into svg/math
            name = self.pick([n for n in NAMES if n not in ("p", "br")])
            return "</" + name + self.pick(["", " x=1", "/"]) + ">"
        if roll < 0.60:
            return self.pick(TEXTS)
        if roll < 0.70:
            return self.pick(COMMENTS)
        if roll < 0.78:
            return self.raw_element()
        if roll < 0.85:
            return self.script()
        if roll < 0.97:
            return self.foreign()
        return self.pick(["<plaintext>", "<a href='x", "<a href=", "<a", "<a href=foo /"])

    def page(self):
        return "".join(self.piece() for _ in range(self.rng.randint(1, 25)))


def differences(pages, texts):
    """The first lines where ours and html5lib's differ, per page that differs."""
    found = []
    for text, page, ours in zip(texts, pages, our_tags(pages)):
        theirs = html5lib_tags(text)
        if ours != theirs:
            i = next((i for i, (a, b) in enumerate(zip(ours, theirs)) if a != b),
                     min(len(ours), len(theirs)))
            found.append("page %r\n  ours:     %r\n  html5lib: %r" % (
                page[:400], ours[i:i + 2], theirs[i:i + 2]))
    return found


class StartTagsTest(unittest.TestCase):
    def test_random_markup(self):
        texts = [Soup(seed).page() for seed in range(1500)]
        found = differences([t.encode("utf-8") for t in texts], texts)
        self.assertEqual(found[:5], [], "%d of %d pages differ" % (len(found), len(texts)))

    def test_pages_debian_ships(self):
        pages = []
        for name in sorted(glob.glob("/usr/share/doc/**/*.htm*", recursive=True)):
            if not os.path.isfile(name):
                continue
            with open(name, "rb") as f:
                data = f.read()
            try:
                data.decode("utf-8")
            except UnicodeDecodeError:
                continue
            pages.append(data)
        if not pages:
            self.skipTest("no HTML documentation installed")
        found = differences(pages, [p.decode("utf-8") for p in pages])
        self.assertEqual(found[:5], [], "%d of %d pages differ" % (len(found), len(pages)))


if __name__ == "__main__":
    unittest.main()
