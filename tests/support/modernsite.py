"""A small site in the manner of modern pages, for the complete-page mode: written to a
folder and served with pagesite.SiteServer (a second server stands in for a CDN host).

index.htm links a style sheet with a query that @imports another, names a web font and
background pictures (one with a query, one an svg sprite with a fragment); it shows pictures
through srcset (density and width descriptors), <picture><source>, a lazy-loading attribute
that its own loader script copies into src, an inline style, a video poster, a picture on the
CDN named scheme-relative, and the same name with two queries. Standard library only.
"""
import os

import pagesite

# name -> (width, height, colour) of a GIF picture
PICTURES = {
    "img/a.gif": (30, 10, (200, 30, 30)),
    "img/a2.gif": (60, 20, (200, 60, 30)),
    "img/wide.gif": (80, 20, (30, 200, 30)),
    "img/source.gif": (50, 25, (30, 30, 200)),
    "img/lazy.gif": (44, 22, (200, 200, 30)),
    "img/hero.gif": (120, 40, (30, 200, 200)),
    "img/poster.gif": (64, 36, (200, 30, 200)),
    "img/bg.gif": (8, 8, (220, 220, 220)),
    "img/deep.gif": (9, 9, (120, 60, 0)),
    "cdn/cdn.gif": (33, 11, (0, 60, 120)),
}

SPRITE_SVG = ('<svg xmlns="http://www.w3.org/2000/svg"><symbol id="home" viewBox="0 0 10 10">'
              '<rect width="10" height="10" fill="#c33"/></symbol></svg>\n')

FILES = {
    "index.htm": """<html><head>
<title>Modern site</title>
<link rel="stylesheet" href="css/site.css?v=7">
<style>
.note { background: url('img/bg.gif') repeat; }
</style>
</head><body>
<h1 class="title">Modern site</h1>
<img class="a" src="img/a.gif?v=1"> <img class="b" src="img/a.gif?v=2">
<img src="img/a.gif?v=1" srcset="img/a.gif?v=1 1x, img/a2.gif 2x">
<img src="img/a.gif?v=1" srcset="img/wide.gif 800w" sizes="100vw">
<picture><source srcset="img/source.gif" media="(min-width: 1px)"><img src="img/a.gif?v=1"></picture>
<img class="lazy" data-src="img/lazy.gif" src="data:image/gif;base64,R0lGODlhAQABAAAAACw=">
<div class="hero" style="background-image:url(&quot;img/hero.gif&quot;);height:40px">hero</div>
<div class="note" data-bg="#fff">note</div>
<video poster="img/poster.gif" width="64" height="36"></video>
<img src="{cdn}cdn/cdn.gif">
<svg width="10" height="10"><use href="img/sprite.svg#home"></use></svg>
<script src="js/lazy.js?ver=3"></script>
</body></html>
""",
    "css/site.css": """@import url("more.css");
@font-face { font-family: "Site"; src: url('../fonts/site.woff2?v=7') format("woff2"); }
body { background: url(../img/bg.gif?x=1) no-repeat; }
.title::before { content: ""; display: inline-block; width: 10px; height: 10px;
                 background: url("../img/sprite.svg#home"); }
.d { background: url(data:image/gif;base64,R0lGODlhAQABAAAAACw=); }
""",
    "css/more.css": "/* imported */ .deep { background-image: url(../img/deep.gif) }\n",
    "js/lazy.js": ("document.querySelectorAll('img[data-src]').forEach(function (img) {\n"
                   "  img.src = img.getAttribute('data-src');\n});\n"),
    "fonts/site.woff2": "wOF2 not a real font, but bytes of its own\n",
    "img/sprite.svg": SPRITE_SVG,
}


def write_site(folder, cdn_base):
    """Writes the site into folder; cdn_base is the CDN server's "http://127.0.0.1:PORT/".
    Returns {relative name: bytes}."""
    files = {name: text.replace("{cdn}", cdn_base[len("http:"):]).encode()
             for name, text in FILES.items()}
    for name, (w, h, colour) in PICTURES.items():
        files[name] = pagesite.gif(w, h, colour)
    for name, data in files.items():
        path = os.path.join(folder, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return files


# What the complete import of index.htm as document doc saves: local name -> site file.
def expected_files(doc):
    d = "%s.files/" % doc
    return {
        d + "site.css": None, d + "more.css": None, d + "lazy.js": None,
        d + "site.woff2": "fonts/site.woff2", d + "bg.gif": "img/bg.gif",
        d + "bg[2].gif": "img/bg.gif", d + "sprite.svg": "img/sprite.svg",
        d + "deep.gif": "img/deep.gif", d + "a.gif": "img/a.gif", d + "a[2].gif": "img/a.gif",
        d + "a2.gif": "img/a2.gif", d + "wide.gif": "img/wide.gif",
        d + "source.gif": "img/source.gif", d + "lazy.gif": "img/lazy.gif",
        d + "hero.gif": "img/hero.gif", d + "poster.gif": "img/poster.gif",
        d + "cdn.gif": "cdn/cdn.gif",
    }
