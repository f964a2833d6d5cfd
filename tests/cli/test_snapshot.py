"""lorvex import --snapshot with the real browser of this machine: the document its scripts made
is saved, the browser's faults end the import cleanly, and nothing is left in the temporary
folder. Pages are served on 127.0.0.1 by the test."""
import http.server
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import browser  # noqa: E402

TOOL = os.environ.get("LORVEX_TOOL", "lorvex")
BROWSER = shutil.which("chromium") or shutil.which("chromium-browser") or shutil.which("google-chrome")

PIXEL_PNG = bytes.fromhex(
    "89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489"
    "0000000d49444154789c6360f8cf000000030101007bd2a9a70000000049454e44ae426082")

# A single-page app: the body holds only its root until the module script builds the page.
APP = b"""<!DOCTYPE html><html><head><title>app</title>
<script type="module">
const root = document.getElementById("root");
root.innerHTML = '<h1>Built by the app</h1><img src="pictures/dot.png" alt="dot">';
root.dataset.view = innerWidth + "x" + innerHeight;
const style = document.createElement("style");
document.head.append(style);
style.sheet.insertRule("h1 { color: rgb(1, 2, 3); }");
</script></head><body><div id="root"></div></body></html>"""

# Never still: the text changes every 50 ms and a request is always on its way.
RESTLESS = b"""<html><body><p id="n">0</p><script>
let n = 0;
setInterval(() => { document.getElementById("n").textContent = ++n; }, 50);
setInterval(() => fetch("/poll?" + n), 200);
</script></body></html>"""

# A client router: once loaded, it puts its own state into the address, within the document.
ROUTER = b"""<html><body><p>routed</p><script>
addEventListener("load", () => setTimeout(() => history.replaceState({page: 1}, "", "#/home"), 100));
</script></body></html>"""

# A worker: the page is told when its script is asked for, never when it has arrived.
WORKER = b"""<html><body><p id="out">waiting</p><script>
new Worker("count.js").onmessage = (e) => { document.getElementById("out").textContent = e.data; };
</script></body></html>"""
COUNT_JS = b'postMessage("counted by the worker");'

START = b"""<html><body onload="location.href = '/deeper/end.htm'">start</body></html>"""
END = b"""<html><body><p>the end</p><img src="dot.png"></body></html>"""

# Looks only as its scripts make it: a router that shows "not found" for an address it does
# not know (a copy on disk, if its scripts ran again), a style sheet built through the CSS
# object model, a web component with a shadow root, a picture put in by the script.
ROUTED = b"""<!DOCTYPE html><html><head><title>routed</title></head><body><div id="root"></div>
<script>
if (location.protocol !== "http:") {
  document.body.innerHTML = "<h1>404: no such route</h1>";
} else {
  const sheet = document.createElement("style");
  document.head.append(sheet);
  sheet.sheet.insertRule("h1 { color: rgb(200, 30, 60); font: bold 40px sans-serif; }");
  sheet.sheet.insertRule("body { margin: 20px; background: rgb(240, 240, 200); }");
  customElements.define("x-badge", class extends HTMLElement {
    constructor() {
      super();
      this.attachShadow({mode: "open"}).innerHTML =
          "<style>div { width: 300px; height: 80px; background: rgb(20, 90, 160); }</style><div></div>";
    }
  });
  document.getElementById("root").innerHTML =
      '<h1>Built by scripts</h1><x-badge></x-badge><img src="pictures/box.svg" width="200" height="100">';
}
</script></body></html>"""
BOX_SVG = (b'<svg xmlns="http://www.w3.org/2000/svg" width="200" height="100">'
           b'<rect width="200" height="100" fill="rgb(30,160,60)"/></svg>')

ON_DISK = b"""<html><head><link rel="stylesheet" href="look.css"></head><body><div id="out"></div>
<script>document.getElementById("out").innerHTML = '<img src="dot.png"><p>written on disk</p>';</script>
</body></html>"""


class Site:
    """Pages by path on 127.0.0.1, or by whole address as a proxy is asked for them; /poll
    answers after a pause, as a slow request does."""

    def __init__(self, pages):
        self.pages = pages
        self.requests = []
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                # A proxy's request names the whole address; the site's, the path.
                path = self.path.split("?", 1)[0]
                site.requests.append(path)
                if path == "/poll":
                    time.sleep(0.3)
                if path not in site.pages and path != "/poll":
                    self.send_error(404)
                    return
                body = site.pages.get(path, b"{}")
                self.send_response(200)
                kind = {".png": "image/png", ".svg": "image/svg+xml", ".js": "text/javascript"}.get(os.path.splitext(path)[1])
                self.send_header("Content-Type", kind or "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                try:
                    self.wfile.write(body)
                except OSError:
                    pass  # the browser went before the answer

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.base = "http://127.0.0.1:%d" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


@unittest.skipUnless(BROWSER, "no browser of the Chromium family here")
class Snapshot(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.work = os.path.join(self.dir.name, "work")
        # The browser's scratch folder goes here: it must be empty after every run.
        self.tmp = os.path.join(self.dir.name, "tmp")
        os.mkdir(self.tmp)

    def run_import(self, *args, path=None, timeout=120):
        env = dict(os.environ, TMPDIR=self.tmp)
        if path is not None:
            env["PATH"] = path
        started = time.monotonic()
        done = subprocess.run([TOOL, "import", *args, "--work", self.work, "--doc", "1"],
                              capture_output=True, stdin=subprocess.DEVNULL, env=env, timeout=timeout)
        self.elapsed = time.monotonic() - started
        self.assertEqual(os.listdir(self.tmp), [], "left in the temporary folder")
        return done.returncode, done.stderr.decode(errors="replace")

    def saved(self, name="1.htm"):
        with open(os.path.join(self.work, name), "rb") as f:
            return f.read()

    def serve(self, pages):
        site = Site(pages)
        self.addCleanup(site.stop)
        return site

    def test_saves_what_the_scripts_made(self):
        site = self.serve({"/app/": APP, "/app/pictures/dot.png": PIXEL_PNG})
        status, err = self.run_import(site.base + "/app/", "--snapshot")
        self.assertEqual(status, 0, err)
        page = self.saved()
        self.assertIn(b"<h1>Built by the app</h1>", page)
        self.assertIn(b"h1 { color: rgb(1, 2, 3); }", page)
        # Laid out in the view the copy is shown in, the browser's frame not taken from it.
        self.assertIn(b'data-view="1280x900"', page)
        self.assertIn(b'src="1.files/dot.png"', page)
        with open(os.path.join(self.work, "1.files", "dot.png"), "rb") as f:
            self.assertEqual(f.read(), PIXEL_PNG)

    def test_copy_looks_as_online_without_the_network(self):
        site = self.serve({"/app/": ROUTED, "/app/pictures/box.svg": BOX_SVG})
        status, err = self.run_import(site.base + "/app/", "--snapshot")
        self.assertEqual(status, 0, err)
        copy = os.path.join(self.work, "1.htm")
        seen = browser.inspect(copy)
        self.assertEqual(seen["requests"], [])
        self.assertEqual([width for _, width in seen["images"]], [200])
        shots = os.path.join(self.dir.name, "shots")
        os.mkdir(shots)
        online, offline = os.path.join(shots, "online.png"), os.path.join(shots, "offline.png")
        done = subprocess.run([BROWSER, "--headless", "--no-sandbox", "--disable-gpu",
                               "--hide-scrollbars", "--window-size=1000,700",
                               "--screenshot=" + online, site.base + "/app/"],
                              capture_output=True, stdin=subprocess.DEVNULL, timeout=120)
        self.assertTrue(os.path.isfile(online), done.stderr[-500:])
        self.assertTrue(browser.screenshot(copy, offline))
        compared = subprocess.run(["compare", "-metric", "AE", "-fuzz", "2%", online, offline,
                                   "null:"], capture_output=True, timeout=120)
        differing = float(compared.stderr.split()[0])
        self.assertLess(differing, 1000 * 700 * 0.005, "pixels unlike the page online")

    def test_page_on_disk(self):
        site_dir = os.path.join(self.dir.name, "my site")
        os.mkdir(site_dir)
        for name, data in (("page.htm", ON_DISK), ("dot.png", PIXEL_PNG), ("look.css", b"p{margin:0}")):
            with open(os.path.join(site_dir, name), "wb") as f:
                f.write(data)
        status, err = self.run_import(os.path.join(site_dir, "page.htm"), "--snapshot",
                                      "--browser", BROWSER)
        self.assertEqual(status, 0, err)
        page = self.saved()
        self.assertIn(b'<img src="1.files/dot.png"><p>written on disk</p>', page)
        self.assertEqual(sorted(os.listdir(os.path.join(self.work, "1.files"))), ["dot.png", "look.css"])

    def test_page_that_moves_on_when_loaded(self):
        site = self.serve({"/start.htm": START, "/deeper/end.htm": END, "/deeper/dot.png": PIXEL_PNG})
        status, err = self.run_import(site.base + "/start.htm", "--snapshot")
        self.assertEqual(status, 0, err)
        self.assertIn(b"the end", self.saved())
        self.assertNotIn(b"start", self.saved())
        # Its references are read against the address the browser ended on.
        self.assertTrue(os.path.isfile(os.path.join(self.work, "1.files", "dot.png")))

    def test_navigation_within_the_document_settles(self):
        site = self.serve({"/router.htm": ROUTER})
        status, err = self.run_import(site.base + "/router.htm", "--snapshot", "--read-timeout", "20000")
        self.assertEqual(status, 0, err)
        self.assertNotIn("did not settle", err)
        self.assertIn(b"routed", self.saved())

    def test_page_that_never_settles_is_taken_at_the_time_out(self):
        site = self.serve({"/restless.htm": RESTLESS})
        status, err = self.run_import(site.base + "/restless.htm", "--snapshot", "--read-timeout", "5000")
        self.assertEqual(status, 0, err)
        self.assertIn("did not settle within 5000 ms", err)
        self.assertLess(self.elapsed, 30)
        number = self.saved().split(b'<p id="n">')[1].split(b"<")[0]
        self.assertGreater(int(number), 10)

    def test_page_with_a_worker_settles(self):
        # Within a deadline shorter than the wait for requests that never end.
        site = self.serve({"/worker.htm": WORKER, "/count.js": COUNT_JS})
        status, err = self.run_import(site.base + "/worker.htm", "--snapshot", "--read-timeout", "4000")
        self.assertEqual(status, 0, err)
        self.assertNotIn("did not settle", err)
        self.assertIn(b"counted by the worker", self.saved())

    def test_stop(self):
        site = self.serve({"/restless.htm": RESTLESS})
        tool = subprocess.Popen([TOOL, "import", site.base + "/restless.htm", "--snapshot", "--work",
                                 self.work, "--doc", "1"], stdin=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, env=dict(os.environ, TMPDIR=self.tmp))
        self.addCleanup(tool.kill)
        while "/restless.htm" not in site.requests and tool.poll() is None:
            time.sleep(0.05)
        tool.send_signal(signal.SIGINT)
        _, err = tool.communicate(timeout=30)
        self.assertEqual(tool.returncode, 1, err)
        self.assertIn(b"stopped", err)
        self.assertEqual(os.listdir(self.tmp), [], "left in the temporary folder")

    def test_through_the_proxy(self):
        # The proxy answers for a host that exists nowhere: only through it can the page come.
        site = self.serve({"http://snapshot.invalid/app/": APP,
                           "http://snapshot.invalid/app/pictures/dot.png": PIXEL_PNG})
        status, err = self.run_import("http://snapshot.invalid/app/", "--snapshot",
                                      "--proxy", site.base[len("http://"):])
        self.assertEqual(status, 0, err)
        self.assertIn(b"<h1>Built by the app</h1>", self.saved())
        self.assertIn("http://snapshot.invalid/app/", site.requests)

    def test_no_browser(self):
        empty = os.path.join(self.dir.name, "empty")
        os.mkdir(empty)
        status, err = self.run_import("http://127.0.0.1:9/", "--snapshot", path=empty)
        self.assertEqual(status, 2, err)
        self.assertIn("chromium", err)
        self.assertIn("--browser PATH", err)
        status, err = self.run_import("http://127.0.0.1:9/", "--snapshot", "--browser",
                                      os.path.join(empty, "chromium"))
        self.assertEqual(status, 2, err)
        self.assertIn("--browser PATH", err)
        self.assertFalse(os.path.exists(self.work))

    def fake_browser(self, script):
        path = os.path.join(self.dir.name, "fake-browser")
        with open(path, "w") as f:
            f.write("#!/bin/sh\n" + script)
        os.chmod(path, 0o755)
        return path

    def test_browser_that_ends(self):
        site = self.serve({"/page.htm": END})
        # One that exits at once, and the real one killed while the page renders; each time
        # the profile it was given is gone afterwards (run_import checks the folder).
        for script, reason in (
                ("exit 3\n", "exit status 3"),
                ('"%s" "$@" & sleep 1.5; kill -9 $!; wait\n' % BROWSER, "the browser ended")):
            with self.subTest(reason=reason):
                status, err = self.run_import(site.base + "/page.htm", "--snapshot",
                                              "--browser", self.fake_browser(script))
                self.assertEqual(status, 1, err)
                self.assertIn(reason, err)
                self.assertFalse(os.path.exists(os.path.join(self.work, "1.htm")))

    def test_server_error_and_unreachable_page(self):
        site = self.serve({})
        status, err = self.run_import(site.base + "/gone.htm", "--snapshot")
        self.assertEqual(status, 1, err)
        self.assertIn("404", err)
        with socket.socket() as closed:
            closed.bind(("127.0.0.1", 0))
            port = closed.getsockname()[1]
        status, err = self.run_import("http://127.0.0.1:%d/" % port, "--snapshot")
        self.assertEqual(status, 1, err)
        self.assertIn("ERR_CONNECTION_REFUSED", err)


if __name__ == "__main__":
    unittest.main()
