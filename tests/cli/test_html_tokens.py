"""The HTML tokenizer against two browsers' readings: html5lib's parser and Chromium's.

html5lib (Debian's python3-html5lib) parses with scripting on; its parser switches its tokenizer
into the raw-text states, so the start tags it yields, in order and with their attributes (the
first of a repeated name), and the text it reads in the raw-text states are what a browser's
tokenizer reads. html-tokens prints ours the same way.

This html5lib predates some of the standard, and what it predates is mended here or left to
Chromium: an end tag in body closes only HTML elements of its name (so "</desc>" does not close
svg's desc from inside an HTML element), and "</p>" and "</br>" inside svg/math close what
svg/math opened, as a browser has them, and svg's desc and title and math's text elements are
special elements, as the standard has them. It knows no template and still ignores most tags
inside a select, so the soups with templates and selects are read by Chromium (headless, its
DOMParser), whose raw-text elements, with their text, must be the ones we read. Frameset pages
are left out of both (the tree ignores almost every tag there).
"""
import glob
import html
import json
import os
import random
import re
import shutil
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
CHROMIUM = shutil.which("chromium")
START_TAG = constants.tokenTypes["StartTag"]
CHARACTERS = (constants.tokenTypes["Characters"], constants.tokenTypes["SpaceCharacters"])
PARSE_ERROR = constants.tokenTypes["ParseError"]


# The special elements of svg and math that this html5lib leaves out (only foreignObject is in).
SPECIAL = constants.specialElements | {
    (constants.namespaces["svg"], "desc"), (constants.namespaces["svg"], "title")} | {
    (constants.namespaces["mathml"], name)
    for name in ("mi", "mo", "mn", "ms", "mtext", "annotation-xml")}
html5lib.html5parser.specialElements = SPECIAL


def end_tag_in_body(phase, token):
    """html5lib's "any other end tag" in body, matching HTML elements only."""
    for node in phase.tree.openElements[::-1]:
        if node.name == token["name"] and node.namespace == constants.namespaces["html"]:
            phase.tree.generateImpliedEndTags(exclude=token["name"])
            while phase.tree.openElements.pop() != node:
                pass
            break
        if node.nameTuple in SPECIAL:
            break


_PHASES = html5lib.HTMLParser().phases
_plain_foreign_end_tag = type(_PHASES["inForeignContent"]).processEndTag


def foreign_end_tag(phase, token):
    """"</p>" and "</br>" in svg/math: what svg/math opened closes, then the end tag is read as
    in HTML content."""
    if token["name"] not in ("p", "br"):
        return _plain_foreign_end_tag(phase, token)
    parser, elements = phase.parser, phase.tree.openElements
    while (elements[-1].namespace != phase.tree.defaultNamespace and
           not parser.isHTMLIntegrationPoint(elements[-1]) and
           not parser.isMathMLTextIntegrationPoint(elements[-1])):
        elements.pop()
    return parser.phase.processEndTag(token)


# The phase classes are made once and shared by every parser.
vars(type(_PHASES["inBody"]))["endTagHandler"].default = end_tag_in_body
type(_PHASES["inForeignContent"]).processEndTag = foreign_end_tag


def escape(data):
    return "".join(chr(b) if 0x20 <= b <= 0x7E and b not in b"\\=" else "\\x%02X" % b
                   for b in data)


def tag_line(name, attributes):
    parts = [escape(name.encode())]
    parts += [escape(k.encode()) + "=" + escape(v.encode("utf-8", "surrogatepass"))
              for k, v in attributes]
    return "\t".join(parts)


# The tokenizer states of raw text, by the prefix of their names, and the letter html-tokens
# gives their text.
RAW_STATES = (("rawtext", "R"), ("scriptData", "R"), ("rcdata", "C"),
              ("characterReferenceInRcdata", "C"), ("plaintext", "P"))


def raw_kind(tokenizer):
    name = tokenizer.state.__name__
    return next((letter for prefix, letter in RAW_STATES if name.startswith(prefix)), None)


def html5lib_tags(text):
    """The start tags html5lib's tokenizer yields while its parser reads text, and the runs of
    text it reads in a raw-text state."""
    lines = []
    plain_iter = _tokenizer.HTMLTokenizer.__iter__

    def recording_iter(tokenizer):
        raw = None  # [letter, text] of the run being read
        for token in plain_iter(tokenizer):
            if token["type"] == PARSE_ERROR:
                yield token
                continue
            kind = raw_kind(tokenizer) if token["type"] in CHARACTERS else None
            if kind and raw and raw[0] == kind:
                raw[1] += token["data"]
            else:
                if raw:
                    lines.append("~%s\t%s" % (raw[0], escape(raw[1].encode("utf-8", "surrogatepass"))))
                raw = [kind, token["data"]] if kind else None
            if token["type"] == START_TAG:
                lines.append(tag_line(token["name"], token["data"].items()))
            yield token
        if raw:
            lines.append("~%s\t%s" % (raw[0], escape(raw[1].encode("utf-8", "surrogatepass"))))

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


# --- Nested markup: elements left open and closed by their ancestors' end tags -------------

NEST_HTML = ["div", "p", "span", "b", "i", "a", "em", "ul", "li", "button", "h1", "h2", "pre",
             "dl", "dd", "object", "font", "nobr", "u", "center", "form", "section", "DIV"]
NEST_SVG = ["g", "path", "text", "a", "svg", "G", "clipPath", "linearGradient"]
NEST_MATH = ["mrow", "mfrac", "mglyph", "malignmark", "svg"]
NEST_RAW = ["style", "script", "xmp", "iframe", "noembed", "noframes", "noscript", "textarea",
            "title"]
NEST_RAW_TEXT = ["a{b:url(x.png)}", "<b>", "</div>", "<svg>", "&amp;", "x", "</p>", "<!--",
                 "-->", "</tr>"]
NEST_BREAKOUTS = ["<p>", "<div>", "<b>", "<font color=red>", "<FONT size=2>", "<font id=x>",
                  "<br>", "<br/>", "<table>", "<img>", "<span>", "<ul>", "<h1>", "<pre>"]
NEST_TEXT = ["x", " ", "\n", "&amp;", "\u00e9", "  y  "]


class Nest:
    """Random nestings of HTML, tables, svg, math, raw-text elements and (for Chromium) selects
    and templates, where an element is often left open and an ancestor's end tag, a breakout tag
    or "</p>" comes inside svg/math."""

    def __init__(self, seed, chromium=False):
        self.rng = random.Random(seed)
        self.chromium = chromium
        self.open = []  # names of the elements written open, outermost first
        self.left_foreign = False

    def pick(self, items):
        return self.rng.choice(items)

    def raw(self):
        names = [n for n in NEST_RAW if not (self.chromium and n == "noscript")]
        name = self.pick(names + ["STYLE", "Script"])
        body = "".join(self.pick(NEST_RAW_TEXT) for _ in range(self.rng.randint(0, 3)))
        return "<%s>%s</%s>" % (name, body, name.lower())

    def stray_end(self):
        if self.open and self.rng.random() < 0.8:
            return "</%s>" % self.pick(self.open).lower()
        return "</%s>" % self.pick(NEST_HTML + ["p", "br", "td", "tr", "table", "svg", "g"])

    def closed(self, name, inner, chance):
        """name's start tag, inner (made while it is open) and, by chance, its end tag."""
        self.open.append(name)
        text = inner()
        self.open.pop()
        return text + ("</%s>" % name.lower() if self.rng.random() < chance else "")

    def html(self, depth):
        parts = []
        for _ in range(self.rng.randint(1, 6 if depth < 3 else 2)):
            roll = self.rng.random()
            if roll < 0.15 or depth >= 4:
                parts.append(self.pick(NEST_TEXT + ["<br>", "<img>", "<hr>", "<input>"]))
            elif roll < 0.30:
                parts.append(self.raw())
            elif roll < 0.50:
                name = self.pick(NEST_HTML)
                parts.append(self.closed(name, lambda: "<%s>" % name + self.html(depth + 1), 0.7))
            elif roll < 0.60:
                parts.append(self.table(depth))
            elif roll < 0.80:
                root = self.pick(["svg", "math", "SVG"])
                space = "math" if root == "math" else "svg"
                parts.append(self.closed(root, lambda: "<%s>" % root + self.foreign(space, depth + 1), 0.5))
                self.left_foreign = False
                if self.rng.random() < 0.5:  # read as CSS or as svg/math markup
                    parts.append(self.raw())
            elif roll < 0.88:
                parts.append(self.stray_end())
            elif self.chromium and roll < 0.94:
                parts.append(self.closed("select", lambda: "<select><option>" +
                                         self.html(depth + 1), 0.6))
            elif self.chromium:
                parts.append(self.closed("template", lambda: "<template>" + self.html(depth + 1), 0.7))
            else:
                parts.append(self.pick(NEST_TEXT))
        return "".join(parts)

    def table(self, depth):
        def rows():
            out = "<table>"
            if self.rng.random() < 0.3:
                out += self.pick(["x", self.raw(), "<svg><g>", "<b>", "<caption>c</caption>"])
            for _ in range(self.rng.randint(0, 2)):
                out += self.pick(["<tr>", "<tbody><tr>", ""])
                for _ in range(self.rng.randint(0, 2)):
                    out += self.closed("td", lambda: "<td>" + self.html(depth + 1), 0.6)
                if self.rng.random() < 0.5:
                    out += "</tr>"
            return out
        return self.closed("table", rows, 0.8)

    def svg_names(self):
        """Chromium matches the end tags of svg's mixed-case names (clipPath, foreignObject)
        by their letter case where the standard folds it: its soups leave them out."""
        names = NEST_SVG if not self.chromium else [n for n in NEST_SVG if n == n.lower()]
        points = [("<foreignObject>", "foreignObject"), ("<desc>", "desc"), ("<title>", "title")]
        return names, points[1:] if self.chromium else points

    def foreign(self, space, depth):
        """svg/math contents. Once something may have ended them (or left HTML open inside an
        integration point), no more svg/math is written: an svg name would then make an HTML
        element, whose end tag Chromium, unlike the standard, reads with svg's letter case."""
        parts = []
        for _ in range(self.rng.randint(1, 6 if depth < 3 else 2)):
            if self.left_foreign:
                break
            roll = self.rng.random()
            svg_names, svg_points = self.svg_names()
            if roll < 0.25 and depth < 5:
                name = self.pick(svg_names if space == "svg" else NEST_MATH)
                parts.append(self.closed(name, lambda: "<%s>" % name + self.foreign(space, depth + 1), 0.5))
            elif roll < 0.40 and depth < 5:
                start, name = self.pick(
                    svg_points if space == "svg" else
                    [("<mi>", "mi"), ("<mtext>", "mtext"),
                     ("<annotation-xml encoding=text/html>", "annotation-xml")])
                parts.append(self.closed(name, lambda: start + self.html(depth + 1), 0.6))
                self.left_foreign = True
            elif roll < 0.68:
                # What may end svg/math ends this part: what follows is written as HTML.
                parts.append(self.pick([self.stray_end(), self.pick(NEST_BREAKOUTS),
                                        self.pick(["</p>", "</br>", "</P>"])]))
                self.left_foreign = True
            elif roll < 0.80:
                name = self.pick(["style", "script"])
                parts.append("<%s>%s</%s>" % (name, self.pick(NEST_RAW_TEXT), name))
            elif roll < 0.85:
                parts.append(self.pick(["<![CDATA[<b>]]>", "<![CDATA[</svg>x]]>"]))
            else:
                parts.append(self.pick(NEST_TEXT))
        return "".join(parts)

    def page(self):
        doctype = self.pick(["<!DOCTYPE html>", ""])
        return doctype + self.html(0)


def differences(pages, texts):
    """The first lines where ours and html5lib's differ, per page that differs."""
    found = []
    for text, page, ours in zip(texts, pages, our_tags(pages)):
        theirs = html5lib_tags(text)
        if ours != theirs:
            i = next((i for i, (a, b) in enumerate(zip(ours, theirs)) if a != b),
                     min(len(ours), len(theirs)))
            found.append("page %r\n  ours:     %r\n  html5lib: %r" % (
                page[:600], ours[i:i + 3], theirs[i:i + 3]))
    return found


# --- Chromium --------------------------------------------------------------------------------

# Reads each page with the browser's DOMParser and lists its raw-text elements with their text,
# template contents included (DOMParser runs without scripts, so noscript is left out).
_CHROMIUM_PAGE = """<!DOCTYPE html><html><body><script>
var pages = %s;
var raw = {style: 1, script: 1, xmp: 1, iframe: 1, noembed: 1, noframes: 1, textarea: 1,
           title: 1, plaintext: 1};
function walk(node, out) {
  for (var c = node.firstChild; c; c = c.nextSibling) {
    if (c.nodeType != 1) continue;
    if (c.namespaceURI == 'http://www.w3.org/1999/xhtml' && raw[c.localName] && c.textContent)
      out.push([c.localName, c.textContent]);
    if (c.namespaceURI == 'http://www.w3.org/1999/xhtml' && c.localName == 'template')
      walk(c.content, out);
    walk(c, out);
  }
}
var results = pages.map(function (page) {
  var out = [];
  walk(new DOMParser().parseFromString(page, 'text/html'), out);
  return out;
});
var pre = document.createElement('pre');
pre.id = 'raw-elements';
pre.textContent = JSON.stringify(results);
document.body.appendChild(pre);
</script></body></html>
"""


def chromium_raw_elements(texts):
    """For each page, Chromium's raw-text elements as (name, text), sorted."""
    page = _CHROMIUM_PAGE % json.dumps(texts).replace("<", "\\u003c")
    with tempfile.TemporaryDirectory() as folder:
        name = os.path.join(folder, "pages.html")
        with open(name, "w") as f:
            f.write(page)
        done = subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu",
                               "--no-first-run", "--disable-extensions", "--dump-dom",
                               "file://" + name], capture_output=True, timeout=300,
                              stdin=subprocess.DEVNULL)
    found = re.search(rb'<pre id="raw-elements">(.*?)</pre>', done.stdout, re.S)
    assert found, "Chromium reported nothing:\n" + done.stderr.decode("latin-1")[-2000:]
    results = json.loads(html.unescape(found.group(1).decode("utf-8")))
    return [sorted(tuple(e) for e in elements) for elements in results]


def unescape(text):
    return re.sub(rb"\\x([0-9A-F]{2})", lambda m: bytes([int(m.group(1), 16)]),
                  text.encode("ascii")).decode("utf-8", "surrogateescape")


def our_raw_elements(pages):
    """For each page, our raw-text elements as (name, text) as the tree holds them, sorted."""
    out = []
    for lines in our_tags(pages):
        elements, name = [], None
        for line in lines:
            if not line.startswith("~"):
                name = unescape(line.split("\t")[0])
                continue
            text = unescape(line[3:])
            if name == "textarea" and text.startswith("\n"):
                text = text[1:]  # the tree drops a textarea's first line break
            if text:
                elements.append((name, text))
        out.append(sorted(elements))
    return out


class StartTagsTest(unittest.TestCase):
    def test_random_markup(self):
        texts = [Soup(seed).page() for seed in range(1500)]
        found = differences([t.encode("utf-8") for t in texts], texts)
        self.assertEqual(found[:5], [], "%d of %d pages differ" % (len(found), len(texts)))

    def test_nested_foreign_content_and_tables(self):
        texts = [Nest(seed).page() for seed in range(2000)]
        found = differences([t.encode("utf-8") for t in texts], texts)
        self.assertEqual(found[:5], [], "%d of %d pages differ" % (len(found), len(texts)))

    def test_large_page(self):
        # Deep svg closed by an end tag of the div outside it, then hundreds of nestings.
        depth = 3000
        text = ("<div><svg>" + "<g>" * depth + "</x>" * depth + "</div><style>a{}</style>" +
                "".join(Nest(seed).page() for seed in range(5000, 5400)))
        found = differences([text.encode("utf-8")], [text])
        self.assertEqual(found, [])

    def test_numbers_that_name_windows_1252_characters(self):
        numbers = "".join("&#%d;&#x%X;" % (n, n) for n in range(0x7E, 0xA2))
        text = '<a title="%s"><title>%s</title>' % (numbers, numbers)
        self.assertEqual(differences([text.encode("utf-8")], [text]), [])

    @unittest.skipUnless(CHROMIUM, "no chromium")
    def test_selects_and_templates_as_chromium_reads_them(self):
        texts = [Nest(seed, chromium=True).page() for seed in range(1500)]
        ours = our_raw_elements([t.encode("utf-8") for t in texts])
        theirs = chromium_raw_elements(texts)
        found = ["page %r\n  ours:     %r\n  chromium: %r" % (t[:600], a, b)
                 for t, a, b in zip(texts, ours, theirs) if a != b]
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
