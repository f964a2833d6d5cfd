"""Pages and style sheets that test where an imported document may reach, served on 127.0.0.1.

    disk = originsite.Disk(folder)              # a marker file where the references point
    with originsite.SheetServer(disk) as web:   # web.base_url: "http://127.0.0.1:PORT/"
        ...

On the disk: m.gif holds MARKER (it must never reach a work folder), and so does the part
m.gif of the archive x.mht; own.gif is a picture that a page on the disk may copy; index.htm,
on the disk, names own.gif and the web's sheet.css.

Served:
  sheet.css          names m.gif on the disk as file:///, as a drive path, as
                     file://localhost/, through a share and inside an mhtml: archive, and one
                     picture of its own, ok.png
  archive.htm        a page from the web naming the marker by res:, inside the archive by
                     mhtml:, and again through a base that is the archive
  chain.htm          names chain/s.css; every chain/<name>.css names <name>i.css by @import,
                     <name>u.css by url() and the picture <name>.png, CHAIN_LEVELS deep
Every request path is recorded in `requests`. Standard library only.
"""
import http.server
import os
import threading

MARKER = b"MARKER of the user's disk, never to be imported"
OWN_PICTURE = b"GIF89a own picture"
OK_PICTURE = b"PNG ok"


def drive_path(path):
    """A path as the import sees it: on Windows and natively, the disk is drive Z:."""
    return "Z:" + os.path.abspath(path).replace("\\", "/")


class Disk:
    """The user's disk: a folder with the marker, a picture of its own and a page."""

    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        archive = (b"MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"b\"\r\n\r\n"
                   b"--b\r\nContent-Type: text/html\r\nContent-Location: index.htm\r\n\r\n"
                   b"<html><body><img src=\"m.gif\"></body></html>\r\n"
                   b"--b\r\nContent-Type: image/gif\r\nContent-Location: m.gif\r\n\r\n"
                   + MARKER + b"\r\n--b--\r\n")
        for name, data in (("m.gif", MARKER), ("own.gif", OWN_PICTURE), ("x.mht", archive)):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        self.marker = drive_path(os.path.join(folder, "m.gif"))  # "Z:/.../m.gif"

    def write_index(self, web_base):
        """index.htm on the disk: its own picture and the web's sheet; returns its path."""
        path = os.path.join(self.folder, "index.htm")
        with open(path, "wb") as f:
            f.write(('<html><head><link rel="stylesheet" href="%ssheet.css"></head>\r\n'
                     '<body><img src="own.gif"></body></html>\r\n' % web_base).encode())
        return path

    def mhtml(self):
        """An mhtml: archive on the disk, as a base: "mhtml:file://Z:/.../x.mht!"."""
        return "mhtml:file://%s/x.mht!" % os.path.dirname(self.marker)

    def sheet(self):
        """sheet.css: each way of naming the marker (the order of the expected failures)."""
        m = self.marker
        return ("a{background:url(file:///%s)}\n"
                "b{background:url(\"%s\")}\n"
                "c{background:url(file://localhost/%s)}\n"
                "d{background:url(//127.0.0.1:1/share/m.gif)}\n"
                "e{background:url(%sm.gif)}\n"
                "f{background:url(ok.png)}\n" % (m, m, m, self.mhtml())).encode()

    def sheet_failures(self, web_base):
        """The URLs the import lists for sheet.css, as the import resolves them: the drive
        path is the file URL's path (listed once), the share is on the web (where nothing
        answers)."""
        m = self.marker
        return [m.replace("/", "\\"), "localhost/" + m, "http://127.0.0.1:1/share/m.gif",
                self.mhtml() + "m.gif"]

    def saved_sheet(self):
        """sheet.css as the import saves it: what it may not reach as written, the rest named
        by its local name."""
        return self.sheet().replace(b"//127.0.0.1:1/share/m.gif", b"m[3].gif")

    def archive_page(self):
        """archive.htm: a page from the web that names the disk through the URL service."""
        return ('<html><body><img src="res://%s"><img src="%sm.gif">\r\n'
                '<base href="%s"><embed src="%s/x.mht!m.gif"></body></html>\r\n'
                % (self.marker, self.mhtml(), self.mhtml(), os.path.dirname(self.marker)[3:])
                ).encode()

    def archive_failures(self):
        """The URLs the import lists for archive.htm: the picture named as written, then as
        the base names it (a base's folder ends at the drive: the rest is in the name)."""
        return ["res://" + self.marker, self.mhtml() + "m.gif", self.mhtml() + "m.gif"]


# The chain's levels: without end as far as the import's bound can tell, and still finite, so
# that an import without the bound ends too.
CHAIN_LEVELS = 8


def chain_sheet(name):
    return ('@import "%si.css";\nx{background:url(%su.css)}\ny{background:url(%s.png)}\n'
            % (name, name, name)).encode()


def chain_requests(levels=4):
    """The requests an import of chain.htm makes: the page, and the sheets of the first
    `levels` levels with their pictures."""
    paths, names = ["/chain.htm"], ["s"]
    for _ in range(levels):
        paths += ["/chain/%s.css" % n for n in names] + ["/chain/%s.png" % n for n in names]
        names = [n + tail for n in names for tail in "iu"]
    return paths


class SheetServer:
    """Serves the pages and sheets above from a background thread."""

    def __init__(self, disk):
        self.disk = disk
        self.requests = []
        self._lock = threading.Lock()
        self._server = None
        self._thread = None

    def __enter__(self):
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                path = self.path.split("?", 1)[0]
                with server._lock:
                    server.requests.append(path)
                body = server._answer(path)
                self.send_response(200 if body is not None else 404)
                body = body if body is not None else b"not here"
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self._server.daemon_threads = True
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()
        return self

    def _answer(self, path):
        if path == "/sheet.css":
            return self.disk.sheet()
        if path == "/ok.png":
            return OK_PICTURE
        if path == "/archive.htm":
            return self.disk.archive_page()
        if path == "/chain.htm":
            return b'<html><head><link rel="stylesheet" href="chain/s.css"></head></html>\r\n'
        name, ext = os.path.splitext(path[len("/chain/"):])
        if path.startswith("/chain/") and name.isalpha() and len(name) <= CHAIN_LEVELS:
            return chain_sheet(name) if ext == ".css" else b"PNG " + name.encode()
        return None

    @property
    def base_url(self):
        return "http://127.0.0.1:%d/" % self._server.server_address[1]

    def __exit__(self, *exc):
        self._server.shutdown()
        self._server.server_close()
        self._thread.join(10)


def files_holding(root, data):
    """The files under root whose bytes contain data."""
    found = []
    for folder, _, files in os.walk(root):
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                if data in f.read():
                    found.append(os.path.join(folder, name))
    return found
