"""A small test site for the page import, written to a folder and served on 127.0.0.1.

    site = pagesite.write_site(folder)          # the files, also a local site on disk
    server = pagesite.SiteServer(folder)
    base = server.start()                       # "http://127.0.0.1:PORT/"
    ...                                         # import base + "index.htm"
    server.serve_missing = True                 # missing.gif starts being served (retry)
    server.stop()

index.htm names: two images with the same name from different URLs (logo.gif and
img/logo.gif), a plain image, a style sheet (whose own image only the style sheet names), a
script that writes an image of its own, an inline frame with its own image, a link to a
frameset page (two frames, each with its own image), an anchor, a missing image (404), a
redirect (302 to photo.gif) and a slow image (about SLOW_SECONDS). stalled.htm names an image
whose route accepts the request and never answers. Every reference is relative, so the same
folder imported from disk is the local site (there, moved.gif and missing.gif do not exist).

Images are real GIFs of distinct sizes (GIF_SIZES), so a browser can tell them apart.
Standard library only.
"""
import http.server
import os
import threading
import time

SLOW_SECONDS = 1.0
# What the import's HTTP client (the fallback and the retry) calls itself.
HTTP_CLIENT_AGENT = "HTTP Library"
# Bound of a stalled answer: the stall route holds its connection until stop() or this long.
STALL_LIMIT_SECONDS = 600

# name -> (width, height, palette index 0 colour)
GIF_SIZES = {
    "logo.gif": (40, 20, (200, 30, 30)),
    "img/logo.gif": (24, 24, (30, 160, 30)),
    "photo.gif": (64, 48, (30, 30, 200)),
    "slow.gif": (16, 16, (200, 200, 30)),
    "menu.gif": (32, 8, (30, 200, 200)),
    "inline.gif": (20, 30, (200, 30, 200)),
    "left.gif": (10, 10, (120, 60, 0)),
    "right.gif": (12, 12, (0, 60, 120)),
    "bg.gif": (8, 8, (220, 220, 220)),
    "missing.gif": (6, 6, (90, 90, 90)),  # served only with serve_missing
}

INDEX_HTM = """<html>
<head>
<title>Page site</title>
<link rel="stylesheet" type="text/css" href="style.css">
<script type="text/javascript" src="menu.js"></script>
<link rel="alternate" href="frameset.htm">
</head>
<body>
<h1>Page site</h1>
<img src="logo.gif" width="40" height="20">
<img src="img/logo.gif">
<img src="photo.gif">
<img src="missing.gif">
<img src="moved.gif">
<img src="slow.gif">
<iframe src="inline.htm" width="200" height="100"></iframe>
<p><a href="about.htm">About</a></p>
</body>
</html>
"""

FILES = {
    "index.htm": INDEX_HTM,
    "style.css": "body { background: url(bg.gif); }\nh1 { color: rgb(1, 2, 3); }\n",
    "menu.js": "document.write('<img src=\"menu.gif\">');\n// the menu of the page site\n",
    "inline.htm": "<html><body>\n<img src=\"inline.gif\">\n</body></html>\n",
    "frameset.htm": ("<html>\n<frameset cols=\"50%,50%\">\n<frame src=\"left.htm\">\n"
                     "<frame src=\"right.htm\">\n</frameset>\n</html>\n"),
    "left.htm": "<html><body>\n<img src=\"left.gif\">\n</body></html>\n",
    "right.htm": "<html><body>\n<img src=\"right.gif\">\n</body></html>\n",
    "about.htm": "<html><body>\n<p>About the page site.</p>\n</body></html>\n",
    "stalled.htm": "<html><body>\n<img src=\"photo.gif\">\n<img src=\"stall.gif\">\n</body></html>\n",
}
# Served by routes, not files: never on disk.
ROUTES_ONLY = ("missing.gif", "moved.gif", "stall.gif")


def gif(width, height, colour):
    """A one-colour GIF. Eight-bit codes with a clear code every 126 pixels keep the LZW
    code size fixed, so no compression is needed."""
    out = bytearray(b"GIF89a")
    out += width.to_bytes(2, "little") + height.to_bytes(2, "little")
    out += bytes([0xF6, 0, 0])  # global table of 128 colours
    out += bytes(colour) + bytes(3 * 127)
    out += b"," + bytes(4) + width.to_bytes(2, "little") + height.to_bytes(2, "little") + b"\0"
    codes = bytearray()
    pixels = width * height
    for start in range(0, pixels, 126):
        codes.append(0x80)  # clear
        codes += bytes(min(126, pixels - start))
    codes.append(0x81)  # end
    out.append(7)  # minimum code size
    for start in range(0, len(codes), 255):
        block = codes[start:start + 255]
        out.append(len(block))
        out += block
    out += b"\0;"
    return bytes(out)


def site_bytes():
    """Every file of the site by its relative name ("/" separated), as written to disk."""
    files = {name: text.replace("\n", "\r\n").encode("ascii") for name, text in FILES.items()}
    for name, (w, h, colour) in GIF_SIZES.items():
        if name not in ROUTES_ONLY:
            files[name] = gif(w, h, colour)
    return files


def write_site(folder):
    """Writes the site into folder (created when missing); returns site_bytes()."""
    files = site_bytes()
    for name, data in files.items():
        path = os.path.join(folder, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return files


def expected_layout(doc, served=True):
    """The files (and folders, ending in "/") that importing index.htm as document doc
    writes, by relative name, mapped to the site file whose bytes they hold (None for a page
    or script whose links were rewritten, and for folders). From disk, moved.gif does not
    exist and is not copied."""
    d = "%s.files/" % doc
    layout = {
        "%s.htm" % doc: None,
        d: None,
        d + "style.css": "style.css",
        d + "menu.js": None,
        d + "menu.gif": "menu.gif",
        d + "frameset.htm": None,
        d + "frameset.files/": None,  # its frames lie one level too deep
        d + "logo.gif": "logo.gif",
        d + "logo[2].gif": "img/logo.gif",
        d + "photo.gif": "photo.gif",
        d + "slow.gif": "slow.gif",
        d + "inline.htm": None,
        d + "inline.files/": None,
        d + "inline.files/inline.gif": "inline.gif",
    }
    if served:
        layout[d + "moved.gif"] = "photo.gif"
    return layout


def rewritten_index(doc, anchor):
    """index.htm as the import saves it as document doc: references into the resource folder,
    the anchor pointing at `anchor` (its absolute form), CR LF lines."""
    text = INDEX_HTM
    for old, new in [('"style.css"', "style.css"), ('"menu.js"', "menu.js"),
                     ('"frameset.htm"', "frameset.htm"), ('"logo.gif"', "logo.gif"),
                     ('"img/logo.gif"', "logo[2].gif"), ('"photo.gif"', "photo.gif"),
                     ('"missing.gif"', "missing.gif"), ('"moved.gif"', "moved.gif"),
                     ('"slow.gif"', "slow.gif"), ('"inline.htm"', "inline.htm")]:
        text = text.replace(old, '"%s.files/%s"' % (doc, new))
    text = text.replace('"about.htm"', '"%s"' % anchor)
    return text.replace("\n", "\r\n").encode()


def listing(root):
    """Every file and folder (ending in "/") under root, by "/"-separated relative name."""
    names = set()
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root).replace(os.sep, "/")
        prefix = "" if rel == "." else rel + "/"
        names.update(prefix + d + "/" for d in dirs)
        names.update(prefix + f for f in files)
    return names


def expected_failures(doc, served=True):
    """The relative URLs of index.htm that the import lists as failed, with their targets
    relative to the work folder."""
    return [("missing.gif", "%s.files/missing.gif" % doc)] if served else []


# The forms of reference a saved copy must keep working: a src after a srcset, a picture the
# import does not save (relative, with a query), an in-page link, a picture on another host
# named scheme-relative ({cdn}: "//127.0.0.1:PORT/"), a thumbnail linking to a picture of the
# same name, and a frame that does not exist.
FORMS_HTM = """<html><body>
<img srcset="img/logo.gif 2x" src="photo.gif">
<img src="pic.webp?v=2">
<a href="#usage">Usage</a>
<img src="{cdn}slow.gif">
<a href="img/logo.gif"><img src="logo.gif"></a>
<iframe src="gone.htm"></iframe>
</body></html>
"""


def forms_page(cdn_base):
    """FORMS_HTM with the second server's base ("http://127.0.0.1:PORT/") scheme-relative."""
    return FORMS_HTM.format(cdn=cdn_base[len("http:"):]).encode()


def rewritten_forms(doc, base):
    """FORMS_HTM as the import of base + "forms.htm" saves it as document doc."""
    text = FORMS_HTM.format(cdn="")
    for old, new in [('src="photo.gif"', 'src="%s.files/photo.gif"' % doc),
                     ('"pic.webp?v=2"', '"%spic.webp?v=2"' % base),
                     ('src="slow.gif"', 'src="%s.files/slow.gif"' % doc),
                     ('href="img/logo.gif"', 'href="%simg/logo.gif"' % base),
                     ('src="logo.gif"', 'src="%s.files/logo.gif"' % doc),
                     ('"gone.htm"', '"%s.files/gone.htm"' % doc)]:
        text = text.replace(old, new)
    return text.replace("\n", "\r\n").encode()


# What importing forms.htm as document doc writes: name -> the site file it holds.
def forms_layout(doc):
    d = "%s.files/" % doc
    return {d + "photo.gif": "photo.gif", d + "slow.gif": "slow.gif", d + "logo.gif": "logo.gif"}


class SiteServer:
    """Serves a written site on 127.0.0.1 (ephemeral port) from a background thread."""

    def __init__(self, folder):
        self.folder = folder
        self.serve_missing = False
        # When a number N: missing.gif is served to the HTTP client (its user agent) once it
        # has been refused to it N times, and always refused to other clients.
        self.serve_missing_after = None
        self._missing_refusals = 0
        self.requests = []  # request paths in arrival order
        self._lock = threading.Lock()
        self._stopping = threading.Event()
        self._server = None
        self._thread = None

    def start(self):
        """Starts serving; returns the base URL ending in "/"."""
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                path = self.path.split("?", 1)[0]
                with site._lock:
                    site.requests.append(path)
                name = path.lstrip("/")
                if name == "moved.gif":
                    self.send_response(302)
                    self.send_header("Location", "/photo.gif")
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                if name == "stall.gif":
                    site._stopping.wait(STALL_LIMIT_SECONDS)
                    return
                if name == "missing.gif":
                    if site._serves_missing(self.headers.get("User-Agent", "")):
                        w, h, colour = GIF_SIZES[name]
                        return self._send(gif(w, h, colour), "image/gif")
                    return self._send(b"<html><body>not here</body></html>", "text/html", 404)
                if name == "slow.gif":
                    site._stopping.wait(SLOW_SECONDS)
                file = os.path.join(site.folder, *name.split("/"))
                if not name or ".." in name.split("/") or not os.path.isfile(file):
                    return self._send(b"<html><body>not here</body></html>", "text/html", 404)
                with open(file, "rb") as f:
                    data = f.read()
                kinds = {".htm": "text/html", ".css": "text/css", ".js": "application/javascript",
                         ".gif": "image/gif"}
                self._send(data, kinds.get(os.path.splitext(name)[1], "application/octet-stream"))

            def _send(self, data, kind, status=200):
                self.send_response(status)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self._server.daemon_threads = True
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()
        return self.base_url

    def _serves_missing(self, agent):
        with self._lock:
            if self.serve_missing:
                return True
            if self.serve_missing_after is None or HTTP_CLIENT_AGENT not in agent:
                return False
            if self._missing_refusals >= self.serve_missing_after:
                return True
            self._missing_refusals += 1
            return False

    @property
    def base_url(self):
        return "http://127.0.0.1:%d/" % self._server.server_address[1]

    def stop(self):
        """Ends stalled answers, stops serving and closes the socket."""
        self._stopping.set()
        if self._server:
            self._server.shutdown()
            self._server.server_close()
            self._thread.join(10)
            self._server = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()
