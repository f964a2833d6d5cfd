"""A page whose server fails in every way a transfer can: texts and pictures that are accepted
and never answered, an answer that stalls after its headers, a connection reset midway, and
a picture on a port where nothing listens; healthy pictures come after them on the page and
in an inline frame. Served on 127.0.0.1, standard library only.

    with faultsite.FaultServer() as server:
        ... import server.base + faultsite.PAGE ...
        faultsite.STALLED, faultsite.failed_urls(server.base), faultsite.saved_files(doc)
"""
import http.server
import socket
import struct
import threading

import pagesite

PAGE = "faults.htm"
# What is accepted and never answered, or answered with headers only: each holds a transfer
# until the read time-out (or Skip) ends it.
STALLED = ["stall-a.js", "stall-frame.htm", "stall-1.gif", "stall-2.gif", "stall-3.gif",
           "headers.gif"]
RESET = "reset.gif"
HEALTHY = ["ok-%d.gif" % i for i in range(1, 9)]
FRAME_HEALTHY = ["f-%d.gif" % i for i in range(1, 5)]
STALL_LIMIT_SECONDS = 600


def picture(name):
    """Distinct real GIF bytes for each name."""
    n = sum(name.encode())
    return pagesite.gif(8 + n % 40, 8 + n % 23, (n % 256, 40, 200 - n % 150))


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class FaultServer:
    def __init__(self):
        self.refused = "http://127.0.0.1:%d/refused.gif" % closed_port()
        self.requests = []
        self._lock = threading.Lock()
        self._stopping = threading.Event()
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def do_GET(self):
                name = self.path.split("?", 1)[0].lstrip("/")
                with site._lock:
                    site.requests.append(name)
                if name == "headers.gif":
                    self.send_response(200)
                    self.send_header("Content-Type", "image/gif")
                    self.send_header("Content-Length", "5000")
                    self.end_headers()
                    self.wfile.flush()
                    site._stopping.wait(STALL_LIMIT_SECONDS)
                    self.close_connection = True
                elif name in STALLED:
                    site._stopping.wait(STALL_LIMIT_SECONDS)
                    self.close_connection = True
                elif name == RESET:
                    self.send_response(200)
                    self.send_header("Content-Type", "image/gif")
                    self.send_header("Content-Length", "5000")
                    self.end_headers()
                    self.wfile.write(picture(RESET)[:40])
                    self.wfile.flush()
                    # A zero linger time makes the close send a reset, not an orderly end.
                    self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                               struct.pack("ii", 1, 0))
                    self.connection.close()
                    self.close_connection = True
                elif name in (PAGE, "frame.htm"):
                    self._send(site.page() if name == PAGE else frame_page(), "text/html")
                elif name in HEALTHY or name in FRAME_HEALTHY:
                    self._send(picture(name), "image/gif")
                else:
                    self._send(b"not here", "text/plain", 404)

            def _send(self, data, kind, status=200):
                self.send_response(status)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

        class Server(http.server.ThreadingHTTPServer):
            daemon_threads = True

            def handle_error(self, request, client_address):
                pass  # the reset connection, and clients that went away

        self._server = Server(("127.0.0.1", 0), Handler)
        self.base = "http://127.0.0.1:%d/" % self._server.server_address[1]
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()

    def page(self):
        """The stalled texts first, then the stalled and broken pictures, then the healthy
        ones and a frame whose pictures must not wait behind any of them."""
        lines = ["<html><head>", '<script src="stall-a.js"></script>', "</head><body>",
                 '<iframe src="stall-frame.htm"></iframe>']
        lines += ['<img src="%s">' % name for name in STALLED if name.endswith(".gif")]
        lines += ['<img src="%s">' % RESET, '<img src="%s">' % self.refused]
        lines += ['<img src="%s">' % name for name in HEALTHY[:4]]
        lines.append('<iframe src="frame.htm"></iframe>')
        lines += ['<img src="%s">' % name for name in HEALTHY[4:]]
        return ("\n".join(lines + ["</body></html>"]) + "\n").encode()

    def failed_urls(self):
        """Every URL the import must list as not fetched."""
        return sorted([self.base + name for name in STALLED + [RESET]] + [self.refused])

    def stop(self):
        self._stopping.set()
        self._server.shutdown()
        self._server.server_close()
        self._thread.join(10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def frame_page():
    return ("<html><body>\n%s\n</body></html>\n" % "\n".join(
        '<img src="%s">' % name for name in FRAME_HEALTHY)).encode()


def saved_pictures(doc):
    """Saved path (relative to the work folder) -> bytes of every healthy picture."""
    saved = {"%d.files/%s" % (doc, name): picture(name) for name in HEALTHY}
    saved.update({"%d.files/frame.files/%s" % (doc, name): picture(name)
                  for name in FRAME_HEALTHY})
    return saved
