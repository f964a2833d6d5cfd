"""lorvex import with several connections writes what one connection writes: random sites
(missing and redirected resources, slow answers out of order, name clashes, frames, scripts,
style sheets) on a server that counts its simultaneous connections, one that serves two at a
time while the others wait, and a cookie the page sets that every resource request carries.
Never more than six transfers go to one server, though two servers get more together; an
import killed midway leaves its fetch-ahead folder, and the next import of the document
removes it."""
import http.server
import math
import os
import random
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import faultsite  # noqa: E402

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")


def random_site(rng):
    """Path -> (status, body): a page, its frames and scripts, and what they name."""
    site = {}

    def resource(path):
        fate = rng.randrange(10)
        if fate == 0:
            return  # 404
        if fate == 1:
            site[path] = (302, "/moved" + path)
            site["/moved" + path] = (200, "moved " + path)
        else:
            site[path] = (200, "bytes of " + path + "\n" * rng.randrange(3))

    def page(depth):
        lines = ["<html><body>"]
        for _ in range(rng.randrange(4, 30)):
            path = "/d%d/p%d.%s" % (rng.randrange(3), rng.randrange(10), rng.choice(["gif", "png", "css"]))
            kind = rng.randrange(8)
            if kind == 0 and depth == 1:
                frame = "/f%d.htm" % rng.randrange(3)
                lines.append('<iframe src="%s"></iframe>' % frame)
                site[frame] = (200, page(2))
            elif kind == 1:
                script = "/s%d.js" % rng.randrange(3)
                lines.append('<script src="%s"></script>' % script)
                site[script] = (200, "document.write('<img src=\"%s\">');\n" % path)
            elif path.endswith(".css"):
                lines.append('<link rel="stylesheet" href="%s">' % path)
            else:
                lines.append('<img src="%s">' % path)
            resource(path)
        return "\n".join(lines + ["</body></html>"]) + "\n"

    site["/index.htm"] = (200, page(1))
    return site


class SiteServer:
    """Serves a site with random delays, counting simultaneous requests; with `at_once`, only
    that many are answered at a time and the others wait."""

    def __init__(self, site, at_once=None, seed=0):
        self.site, self.running, self.most, self.requests = site, 0, 0, []
        self.without_cookie = []
        lock, gate, rng = threading.Lock(), threading.Semaphore(at_once or 1000), random.Random(seed)
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                with gate:
                    with lock:
                        outer.running += 1
                        outer.most = max(outer.most, outer.running)
                        outer.requests.append(self.path)
                        delay = rng.random() * 0.03
                        if self.path != "/index.htm" and "visit=1" not in self.headers.get("Cookie", ""):
                            outer.without_cookie.append(self.path)
                    time.sleep(delay)
                    status, body = outer.site.get(self.path, (404, ""))
                    data = body.encode() if status != 302 else b""
                    with lock:
                        outer.running -= 1  # the client may ask again once it has the answer
                    self.send_response(status)
                    if status == 302:
                        self.send_header("Location", body)
                    if self.path == "/index.htm":
                        self.send_header("Set-Cookie", "visit=1; Path=/")
                    self.send_header("Content-Length", str(len(data)))
                    self.end_headers()
                    self.wfile.write(data)

            def log_message(self, *args):
                pass

        class Server(http.server.ThreadingHTTPServer):
            def handle_error(self, request, client_address):
                pass  # a client closing its kept connection is no error here

        self.server = Server(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        self.url = "http://127.0.0.1:%d/index.htm" % self.server.server_address[1]

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def folder(root):
    files = {}
    for base, _, names in os.walk(root):
        for name in names:
            path = os.path.join(base, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root)] = f.read()
    return files


class Connections(unittest.TestCase):
    maxDiff = None
    def import_site(self, site, connections, at_once=None, seed=0, complete=False):
        server = SiteServer(site, at_once, seed)
        self.addCleanup(server.stop)
        with tempfile.TemporaryDirectory() as work:
            args = [TOOL, "import", server.url, "--work", work, "--doc", "4",
                    "--connections", str(connections)] + (["--complete"] if complete else [])
            done = subprocess.run(args, capture_output=True, timeout=120, stdin=subprocess.DEVNULL)
            # The server's port is the only thing allowed to differ.
            origin = server.url[:-len("/index.htm")]
            errors = done.stderr.decode().replace(work, "WORK").replace(origin, "ORIGIN")
            files = {name: data.replace(origin.encode(), b"ORIGIN")
                     for name, data in folder(work).items()}
            return done.returncode, files, errors, server

    def test_random_sites_as_with_one_connection(self):
        rng = random.Random(1208)
        ran_ahead = 0
        for round_ in range(12):
            site = random_site(rng)
            complete = round_ % 3 == 2
            with self.subTest(round=round_, complete=complete):
                one = self.import_site(site, 1, seed=round_, complete=complete)
                self.assertEqual(one[3].most, 1)
                for connections, at_once in ((6, None), (6, 2), (3, None)):
                    many = self.import_site(site, connections, at_once, seed=round_ + 99,
                                            complete=complete)
                    self.assertEqual(many[:3], one[:3], (connections, at_once))
                    self.assertLessEqual(many[3].most, min(connections, at_once or 99))
                    self.assertEqual(many[3].without_cookie, [])
                    ran_ahead += many[3].most > 1
        self.assertGreater(ran_ahead, 24)


class SlowServer:
    """Answers every GET after `delay` seconds, counting the requests it serves at once; the
    page names `count` pictures on itself, then as many on `other` (another SlowServer)."""

    def __init__(self, delay, count=0):
        self.delay, self.count, self.other = delay, count, None
        self.running, self.most = 0, 0
        lock, outer = threading.Lock(), self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                with lock:
                    outer.running += 1
                    outer.most = max(outer.most, outer.running)
                try:
                    if self.path == "/index.htm":
                        body = outer.page().encode()
                    else:
                        time.sleep(outer.delay)
                        body = b"picture " + self.path.encode()
                finally:
                    with lock:
                        outer.running -= 1
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        class Server(http.server.ThreadingHTTPServer):
            def handle_error(self, request, client_address):
                pass

        self.server = Server(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.origin = "http://127.0.0.1:%d" % self.server.server_address[1]

    def page(self):
        lines = ["<html><body>"]
        # This server's pictures first: nothing but its limit leaves room for the other's.
        for i in range(self.count):
            lines.append('<img src="%s/a%d.gif">' % (self.origin, i))
        for i in range(self.count if self.other else 0):
            lines.append('<img src="%s/b%d.gif">' % (self.other.origin, i))
        return "\n".join(lines + ["</body></html>"]) + "\n"

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def fetching_folders(work, doc):
    return sorted(n for n in os.listdir(work) if n.startswith("%d.fetching" % doc))


class Limits(unittest.TestCase):
    def serve(self, delay, count=0):
        server = SlowServer(delay, count)
        self.addCleanup(server.stop)
        return server

    def test_six_at_most_to_one_server(self):
        first, second = self.serve(0.15, 40), self.serve(0.15)
        first.other = second
        with tempfile.TemporaryDirectory() as work:
            done = subprocess.run([TOOL, "import", first.origin + "/index.htm", "--work", work,
                                   "--doc", "4", "--connections", "12"],
                                  capture_output=True, timeout=120, stdin=subprocess.DEVNULL)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(len(os.listdir(os.path.join(work, "4.files"))), 80)
            self.assertEqual(fetching_folders(work, 4), [])
        # Five ahead and the one waited for; the page's own request came before.
        self.assertLessEqual(first.most, 6)
        self.assertLessEqual(second.most, 6)
        self.assertGreater(first.most + second.most, 6)

    def test_a_killed_import_leaves_nothing_after_the_next(self):
        server = self.serve(0.5, 60)
        with tempfile.TemporaryDirectory() as work:
            args = [TOOL, "import", server.origin + "/index.htm", "--work", work, "--doc", "4",
                    "--connections", "6"]
            os.mkdir(os.path.join(work, "4.fetching5"))  # someone else's: no marker
            proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            try:
                deadline = time.monotonic() + 30
                while fetching_folders(work, 4) == ["4.fetching5"] and time.monotonic() < deadline:
                    time.sleep(0.05)
                time.sleep(0.3)  # some transfers under way
            finally:
                proc.kill()
                proc.wait()
            self.assertEqual(fetching_folders(work, 4), ["4.fetching", "4.fetching5"])
            server.delay = 0
            done = subprocess.run(args, capture_output=True, timeout=120,
                                  stdin=subprocess.DEVNULL)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(fetching_folders(work, 4), ["4.fetching5"])

    def test_faults_end_within_the_read_timeout_per_free_connection(self):
        """K stalled transfers share the connections but one, the waited-for fetch always
        has one: the import ends within the read time-out × ⌈K ÷ (connections − 1)⌉ + 5 s,
        with every healthy picture saved and every fault listed."""
        read_timeout = 2.0
        for connections in (6, 3):
            with self.subTest(connections=connections), faultsite.FaultServer() as server, \
                    tempfile.TemporaryDirectory() as work:
                started = time.monotonic()
                done = subprocess.run(
                    [TOOL, "import", server.base + faultsite.PAGE, "--work", work, "--doc", "2",
                     "--connections", str(connections), "--read-timeout",
                     str(int(read_timeout * 1000))],
                    capture_output=True, timeout=120, stdin=subprocess.DEVNULL)
                took = time.monotonic() - started
                bound = read_timeout * math.ceil(
                    len(faultsite.STALLED) / (connections - 1)) + 5
                self.assertLess(took, bound)
                self.assertEqual(done.returncode, 3, done.stderr)
                listed = sorted(line.split(b"not fetched: ", 1)[1].split(b" -> ")[0].decode()
                                for line in done.stderr.splitlines())
                self.assertEqual(listed, server.failed_urls())
                for name, data in faultsite.saved_pictures(2).items():
                    with open(os.path.join(work, name), "rb") as f:
                        self.assertEqual(f.read(), data, name)
                self.assertEqual(fetching_folders(work, 2), [])


if __name__ == "__main__":
    unittest.main()
