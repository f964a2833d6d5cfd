"""lorvex get over https against local TLS servers whose certificates a test authority made at
run time; the tool trusts that authority through SSL_CERT_FILE, as a user could."""
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from tlssite import ConnectProxy, HttpServer, StallServer, TestAuthority  # noqa: E402

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")


class HttpsGet(unittest.TestCase):
    command = [TOOL]
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.authority = TestAuthority(cls.folder.name)
        cls.good = cls.authority.issue(["localhost", "127.0.0.1"])
        cls.env = dict(os.environ, SSL_CERT_FILE=cls.authority.ca_pem)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def out_path(self, path):
        return path

    def get(self, url, *options):
        started = time.monotonic()
        options = [self.out_path(o) if o.startswith("/") else o for o in options]
        run = subprocess.run([*self.command, "get", url, *options], capture_output=True,
                             env=self.env, timeout=60)
        return run.returncode, run.stdout, run.stderr.decode(errors="replace"), \
            time.monotonic() - started

    def test_bodies_redirects_and_reuse(self):
        with HttpServer(self.good) as tls, HttpServer() as plain:
            to_plain = plain.url("/redirect?" + tls.url("/back"))
            cases = [
                (tls.url("/bytes/300000"), bytes(range(256)) * 1171 + bytes(range(224))),
                (tls.url("/chunked"), b"over tls in chunks"),
                (tls.url("/x", host="127.0.0.1"), b"/x cookie=-"),
                # http -> https -> http -> https
                (plain.url("/redirect?" + tls.url("/redirect?" + to_plain)), b"/back cookie=-"),
            ]
            for url, expected in cases:
                status, out, err, _ = self.get(url)
                self.assertEqual((status, err), (0, ""), url)
                self.assertEqual(out, expected, url)

    def test_a_page_import_keeps_one_connection(self):
        work = os.path.join(self.folder.name, "work")
        with HttpServer(self.good) as tls:
            run = subprocess.run([TOOL, "import", tls.url("/page.htm"), "--work", work,
                                  "--doc", "7", "--connections", "1"], capture_output=True,
                                 env=self.env, timeout=60)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertEqual(len(tls.requests), 4)
            self.assertEqual(tls.connections, 1)
        saved = {}
        for folder, _, files in os.walk(work):
            for name in files:
                with open(os.path.join(folder, name), "rb") as f:
                    saved[name] = f.read()
        for i in range(3):
            self.assertEqual(saved.get("i%d.gif" % i), b"/i%d.gif cookie=-" % i)

    def test_secure_cookies_go_over_https_only(self):
        with HttpServer(self.good) as tls, HttpServer() as plain:
            # One run, one cookie jar: set over https, visit http, come back to https.
            back = plain.url("/redirect?" + tls.url("/echo"))
            status, out, err, _ = self.get(tls.url("/set-cookies?" + back))
            self.assertEqual((status, out), (0, b"/echo cookie=plain=1; secret=2"), err)
            self.assertEqual([h.get("Cookie") for _, h in plain.requests], ["plain=1"])

    def test_certificates_that_do_not_verify_are_failures(self):
        other = self.authority.issue(["other.test"])
        expired = self.authority.issue(["localhost", "127.0.0.1"], expired=True)
        selfsigned = self.authority.self_signed(["localhost", "127.0.0.1"])
        for certificate, why in [(other, "mismatch"), (expired, "expired"),
                                 (selfsigned, "self-signed")]:
            # Both platforms' texts carry the word.
            with HttpServer(certificate) as tls:
                target = os.path.join(self.folder.name, "bad-" + why)
                status, out, err, _ = self.get(tls.url("/x"), "--out", target)
                self.assertNotEqual(status, 0, why)
                self.assertIn("certificate", err, why)
                self.assertIn(why, err)
                self.assertFalse(os.path.exists(target), why)
                self.assertEqual(tls.requests, [], why)

    def test_a_stalled_handshake_ends_at_the_read_timeout(self):
        with StallServer() as stall:
            status, _, err, took = self.get("https://localhost:%d/" % stall.port,
                                            "--read-timeout", "1500")
        self.assertNotEqual(status, 0)
        self.assertIn("handshake", err)
        self.assertLess(took, 10)

    def test_https_through_a_proxy_uses_a_tunnel(self):
        # The certificate names the origin only, not the proxy's 127.0.0.1: the name checked
        # is the one in the URL.
        origin_only = self.authority.issue(["localhost"])
        with HttpServer(origin_only) as tls, ConnectProxy() as proxy:
            status, out, err, _ = self.get(tls.url("/via"), "--proxy",
                                           "127.0.0.1:%d" % proxy.port)
            self.assertEqual((status, out), (0, b"/via cookie=-"), err)
            self.assertEqual(proxy.lines, ["CONNECT localhost:%d HTTP/1.1" % tls.port])
            self.assertEqual(tls.requests[0][0], "GET /via HTTP/1.1")


if __name__ == "__main__":
    unittest.main()
