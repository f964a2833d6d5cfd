"""The complete mode's URLs as a browser forms them: each page of the table is served on
127.0.0.1 and imported with `lorvex import --complete`; the test checks the request paths the
server saw, the files written and the page's bytes."""
import http.server
import os
import subprocess
import tempfile
import threading
import unittest

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")

# Files the server has, by request path exactly as it arrives (escapes as sent).
FILES = {
    "/d/a%2541.png": b"PNG-a2541",
    "/d/my%20pic.png": b"PNG-space",
    "/root.png": b"PNG-root",
    "/root2.png": b"PNG-root2",
    "/d/sub/b.png": b"PNG-b",
    "/up.png": b"PNG-up",
    "/d/caf%C3%A9.png?q=%E9": b"PNG-cafe",
    "/d/x%26y.png?a=%26&b=1": b"PNG-amp",
}

# (page, requests, {file in 5.files: bytes}, page as written). "H" stands for
# the server's "http://127.0.0.1:PORT".
ROWS = [
    # An escape is requested as written; the file takes the decoded name, written escaped.
    (b'<img src="a%2541.png">', ["/d/a%2541.png"], {"a%41.png": b"PNG-a2541"},
     b'<img src="5.files/a%2541.png">'),
    (b'<img src="my pic.png"><img src=my%20pic.png>', ["/d/my%20pic.png"],
     {"my pic.png": b"PNG-space"},
     b'<img src="5.files/my%20pic.png"><img src=5.files/my%20pic.png>'),
    (b'<img src="x%26y.png?a=%26&amp;b=1">', ["/d/x%26y.png?a=%26&b=1"],
     {"x&y.png": b"PNG-amp"}, b'<img src="5.files/x&amp;y.png">'),
    # Dot segments inside and past the root, escaped ones, backslashes.
    (b'<img src="d/../../../root.png"><img src="../../x/../root2.png">', ["/root.png", "/root2.png"],
     {"root.png": b"PNG-root", "root2.png": b"PNG-root2"},
     b'<img src="5.files/root.png"><img src="5.files/root2.png">'),
    (b'<img src="sub\\b.png"><img src="%2e%2E/up.png">', ["/d/sub/b.png", "/up.png"],
     {"b.png": b"PNG-b", "up.png": b"PNG-up"},
     b'<img src="5.files/b.png"><img src="5.files/up.png">'),
    # Links, unsaved values and a refresh are written as the URL, escapes kept.
    (b'<a href="search?q=a%26b&amp;r=1">s</a><a href=my%20page.htm>p</a>'
     b'<a href="..\\..\\top.htm#a b">t</a>', [],
     {}, b'<a href="H/d/search?q=a%26b&amp;r=1">s</a><a href=H/d/my%20page.htm>p</a>'
     b'<a href="H/top.htm#a%20b">t</a>'),
    (b'<img src="show.cgi?id=%41 b"><meta http-equiv=refresh content="0; url=next%20page.htm">',
     [], {}, b'<img src="H/d/show.cgi?id=%41%20b">'
     b'<meta http-equiv=refresh content="0; url=H/d/next%20page.htm">'),
    # A windows-1252 page: its path is requested as UTF-8, its query in its own bytes.
    (b'<meta charset="windows-1252"><img src="caf\xe9.png?q=\xe9">',
     ["/d/caf%C3%A9.png?q=%E9"], {"caf\u00e9.png": b"PNG-cafe"},
     b'<meta charset="windows-1252"><img src="5.files/caf%C3%A9.png">'),
]


class Server:
    def __init__(self):
        self.requests = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                server.requests.append(self.path)
                body = FILES.get(self.path)
                self.send_response(200 if body is not None else 404)
                self.send_header("Content-Length", str(len(body or b"")))
                self.end_headers()
                self.wfile.write(body or b"")

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.base = "http://127.0.0.1:%d" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class CompleteModeUrls(unittest.TestCase):
    def test_rows(self):
        server = Server()
        self.addCleanup(server.stop)
        for page, requests, files, written in ROWS:
            with self.subTest(page=page), tempfile.TemporaryDirectory() as work:
                server.requests.clear()
                source = os.path.join(work, "page.htm")
                with open(source, "wb") as f:
                    f.write(page)
                # The page is handed over as from the web: its bytes, its address.
                server_page = "/d/up.htm"
                FILES[server_page] = page
                done = subprocess.run(
                    [TOOL, "import", server.base + server_page, "--work", work, "--doc", "5",
                     "--complete"], capture_output=True, stdin=subprocess.DEVNULL, timeout=120)
                self.assertIn(done.returncode, (0, 3), done.stderr)
                # Transfers run at once: the order of the requests is the server's.
                self.assertEqual(sorted(server.requests), sorted([server_page] + requests))
                folder = os.path.join(work, "5.files")
                found = {}
                if os.path.isdir(folder):
                    for name in os.listdir(folder):
                        with open(os.path.join(folder, name), "rb") as f:
                            found[name] = f.read()
                self.assertEqual(found, files)
                with open(os.path.join(work, "5.htm"), "rb") as f:
                    self.assertEqual(f.read(), written.replace(b"H/", server.base.encode() + b"/")
                                     + b"\r\n")


if __name__ == "__main__":
    unittest.main()
