"""lorvex get against a small HTTP server that the test runs on 127.0.0.1."""
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time
import unittest

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    seen = []

    def log_message(self, *args):
        pass

    def reply(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        Handler.seen.append((self.requestline, dict(self.headers)))
        path = self.path.split("://", 1)[-1]
        path = path[path.index("/"):] if "://" in self.path else path
        if path == "/ok":
            self.reply(200, b"hello\r\nworld\x00\xff")
        elif path == "/missing":
            self.reply(404, b"not here")
        elif path == "/moved":
            self.reply(302, headers=[("Location", "/ok"), ("Set-Cookie", "k=v; Path=/")])
        elif path == "/echo-cookie":
            self.reply(200, self.headers.get("Cookie", "-").encode())
        elif path == "/stall":
            self.send_response(200)
            self.send_header("Content-Length", "10")
            self.end_headers()
            self.wfile.write(b"abc")
            self.wfile.flush()
            time.sleep(1.5)
            self.wfile.write(b"defghij")
        elif path == "/big":
            size = 5 * 1024 * 1024
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.end_headers()
            block = bytes(range(256)) * 4096
            for _ in range(size // len(block)):
                self.wfile.write(block)
        else:
            self.reply(500, b"?")


class GetCommandTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        cls.server.daemon_threads = True
        cls.thread = threading.Thread(target=cls.server.serve_forever, daemon=True)
        cls.thread.start()
        cls.base = "http://127.0.0.1:%d" % cls.server.server_address[1]

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()

    def setUp(self):
        Handler.seen.clear()
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def run_tool(self, *args):
        return subprocess.run([TOOL, "get", *args], capture_output=True, timeout=60)

    def test_body_to_stdout_and_to_file(self):
        r = self.run_tool(self.base + "/ok")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, b"hello\r\nworld\x00\xff")
        out = os.path.join(self.dir.name, "page.bin")
        r = self.run_tool(self.base + "/big", "--out", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(out, "rb") as f:
            self.assertEqual(f.read(), (bytes(range(256)) * 4096) * 5)
        self.assertEqual(os.listdir(self.dir.name), ["page.bin"])

    def test_failures_report_status_or_cause_and_write_nothing(self):
        out = os.path.join(self.dir.name, "x.htm")
        r = self.run_tool(self.base + "/missing", "--out", out)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b"404", r.stderr)
        self.assertEqual(os.listdir(self.dir.name), [])
        with socket_closed_port() as port:
            r = self.run_tool("http://127.0.0.1:%d/" % port)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b"cannot connect", r.stderr)
        r = self.run_tool("ftp://127.0.0.1/")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b"unsupported scheme", r.stderr)
        self.assertNotEqual(self.run_tool().returncode, 0)

    def test_redirects_and_cookies(self):
        r = self.run_tool(self.base + "/moved")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, b"hello\r\nworld\x00\xff")
        self.assertEqual(Handler.seen[1][1].get("Cookie"), "k=v")
        r = self.run_tool(self.base + "/moved", "--no-cookies")
        self.assertNotIn("Cookie", Handler.seen[-1][1])
        r = self.run_tool(self.base + "/moved", "--no-redirects")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b"302", r.stderr)

    def test_read_timeout(self):
        r = self.run_tool(self.base + "/stall", "--read-timeout", "300")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn(b"timed out", r.stderr)
        r = self.run_tool(self.base + "/stall")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, b"abcdefghij")

    def test_proxy_gets_the_absolute_form(self):
        port = self.server.server_address[1]
        r = self.run_tool("http://far.example.invalid/ok", "--proxy", "127.0.0.1:%d" % port)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(Handler.seen[0][0], "GET http://far.example.invalid/ok HTTP/1.1")
        self.assertEqual(Handler.seen[0][1].get("Host"), "far.example.invalid")


class socket_closed_port:
    """A port on 127.0.0.1 on which nothing listens."""

    def __enter__(self):
        import socket
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        self.port = s.getsockname()[1]
        s.close()
        return self.port

    def __exit__(self, *exc):
        return False


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
