#!/usr/bin/env python3
"""Judges saved copies of real pages by how they look and what they miss once the network is gone.

For each test site (make_sites.sh builds them from Debian's generators) it serves the site on
127.0.0.1 with a second port standing in for a CDN, takes a screenshot of the page online,
saves the page with every tool, stops both servers, and then loads each saved copy from disk:

  lorvex default    LORVEX_TOOL import URL --work DIR --doc 1
  lorvex complete   LORVEX_TOOL import --complete URL --work DIR --doc 1 (when the tool has it)
  lorvex snapshot   LORVEX_TOOL import --snapshot URL --work DIR --doc 1 (when the tool has it),
                    beside the time of `chromium --headless --dump-dom URL` on the same page
  wget -p -k -E -H  wget -p -k -E -H -e robots=off -P DIR URL
  SingleFile        single-file URL DIR/page.html (single-file-cli 1.1.54 from npm, Chromium)

Per copy: the share of pixels of its screenshot equal to the online one (ImageMagick
`compare -metric AE -fuzz 5%`), the requests that failed and the images left empty while it
loaded in Chromium (probe.cjs), the files and bytes saved and the tool's wall time. Prints one
Markdown table per site and the mean pixel agreement per tool; keeps the screenshots, the copies
and results.md / results.json under build/bench-complete/.

  bench/complete/run.py [--out DIR] [--port 18601] [--cdn-port 18602] [--sites a,b]

Needs the tools that `scripts/setup --bench` installs. Every subprocess has a time limit and
every server is stopped in a finally block.
"""
import argparse
import contextlib
import http.server
import json
import os
import pathlib
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
DEFAULT_OUT = ROOT / "build" / "bench-complete"
NPM_CACHE = DEFAULT_OUT / "npm"  # SingleFile and ws, kept between runs whatever --out says
SINGLEFILE_VERSION = "1.1.54"
WS_VERSION = "8.18.0"
WIDTH, HEIGHT = 1280, 900
FUZZ = "5%"

TOOL_TIMEOUT = int(os.environ.get("TOOL_TIMEOUT", "300"))  # seconds one save may take
SHOT_TIMEOUT = 90
PROBE_TIMEOUT = 90
NPM_TIMEOUT = 600
SITES_TIMEOUT = 600

# name, the page within the served folder
SITES = [
    ("sphinx", "sphinx/index.html"),
    ("doxygen", "doxygen/classdrawing_1_1Shape.html"),
    ("mkdocs", "mkdocs/index.html"),
    ("bootstrap", "bootstrap/index.html"),
    ("modern", "modern/modern.htm"),
    ("hugo", "hugo/"),
    ("jekyll", "jekyll/"),
    ("material", "material/index.html"),
    ("attributes", "attributes/attributes.html"),
    ("spa", "spa/"),
    ("vite-react", "vite-react/"),
    ("vite-router", "vite-react/tides/"),
    ("astro", "astro/"),
    ("vitepress", "vitepress/guide.html"),
]
# row label, folder name
TOOLS = [
    ("lorvex default", "lorvex-default"),
    ("lorvex complete", "lorvex-complete"),
    ("lorvex snapshot", "lorvex-snapshot"),
    ("chromium --dump-dom (time only)", "dump-dom"),
    ("wget -p -k -E -H", "wget"),
    ("SingleFile", "singlefile"),
]
CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--hide-scrollbars", "--force-device-scale-factor=1", f"--window-size={WIDTH},{HEIGHT}",
]
# The fonts Chromium may use besides a page's own: DejaVu only. Debian installs Lato and Font
# Awesome system-wide with the generators, and a copy that lost its web fonts would otherwise
# still draw them from the system and look complete.
FONTS_CONF = """<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts/truetype/dejavu</dir>
  <cachedir>{cache}</cachedir>
  <include ignore_missing="yes">/etc/fonts/conf.d/30-metric-aliases.conf</include>
</fontconfig>
"""
MIME_TYPES = {
    ".html": "text/html", ".htm": "text/html", ".css": "text/css", ".js": "text/javascript",
    ".json": "application/json", ".png": "image/png", ".jpg": "image/jpeg", ".gif": "image/gif",
    ".svg": "image/svg+xml", ".webp": "image/webp", ".avif": "image/avif", ".ico": "image/x-icon",
    ".woff2": "font/woff2", ".woff": "font/woff", ".ttf": "font/ttf", ".otf": "font/otf",
    ".eot": "application/vnd.ms-fontobject", ".map": "application/json", ".txt": "text/plain",
    ".xml": "application/xml", ".inv": "application/octet-stream",
}


def program(name, preferred=None):
    """The program's path: PREFERRED when it exists (ImageMagick's own, past any wrapper of the
    same name earlier on the PATH), else the PATH's, else None."""
    if preferred and os.access(preferred, os.X_OK):
        return preferred
    return shutil.which(name)


def descendants(pid):
    """The processes below PID, read from /proc (children first found, then theirs)."""
    children = {}
    for entry in pathlib.Path("/proc").iterdir():
        if entry.name.isdigit():
            with contextlib.suppress(OSError, IndexError, ValueError):
                # The parent is the second field after the command name's closing parenthesis.
                parent = int((entry / "stat").read_text().rsplit(")", 1)[1].split()[1])
                children.setdefault(parent, []).append(int(entry.name))
    found, queue = [], [pid]
    while queue:
        for child in children.get(queue.pop(), []):
            found.append(child)
            queue.append(child)
    return found


def run_bounded(cmd, timeout, env=None, cwd=None):
    """Runs CMD with its output captured; returns (exit code or "timeout", seconds, stdout,
    stderr). When the time runs out the process group is killed, and every process below the
    command as well (a browser that a tool started in a group of its own)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=env, cwd=cwd, start_new_session=True)
    try:
        out, err = proc.communicate(timeout=timeout)
        code = proc.returncode
    except subprocess.TimeoutExpired:
        for pid in descendants(proc.pid):
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, 9)
        with contextlib.suppress(ProcessLookupError):
            os.killpg(proc.pid, 9)
        out, err = proc.communicate(timeout=30)
        code = "timeout"
    return code, time.monotonic() - start, out.decode(errors="replace"), err.decode(errors="replace")


# --- serving ----------------------------------------------------------------------------------

class _Handler(http.server.SimpleHTTPRequestHandler):
    """Serves files with fixed types; every answer allows other origins, as a CDN's does (web
    fonts from another port are refused without it), and may not be cached."""
    protocol_version = "HTTP/1.1"
    extensions_map = MIME_TYPES
    # The handler writes the headers and the body separately; with Nagle's algorithm on, each
    # small answer then waits for the client's delayed acknowledgement (about 40 ms a file).
    disable_nagle_algorithm = True

    def end_headers(self):
        self.send_header("Access-Control-Allow-Origin", "*")
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, format, *args):  # noqa: A002 (the base class's name)
        self.server.log.append(format % args)


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


@contextlib.contextmanager
def serve(root, port):
    """Serves ROOT on 127.0.0.1:PORT in a thread; the port is closed again when the block ends,
    however it ends. Yields the server (its .log holds the request lines)."""
    handler = lambda *a, **k: _Handler(*a, directory=str(root), **k)  # noqa: E731
    server = _Server(("127.0.0.1", port), handler)
    server.log = []
    thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True)
    thread.start()
    try:
        yield server
    finally:
        server.shutdown()
        server.server_close()
        thread.join(timeout=10)


def port_closed(port):
    """True when nothing accepts connections on 127.0.0.1:PORT."""
    with socket.socket() as s:
        s.settimeout(2)
        return s.connect_ex(("127.0.0.1", port)) != 0


# --- looking at pages ---------------------------------------------------------------------------

class Browser:
    """Headless Chromium with the harness's fixed flags and fonts, for screenshots, and the
    DevTools probe (probe.cjs) when node and the ws package are there."""

    def __init__(self, chromium, out, node_modules):
        self.chromium = chromium
        self.node = shutil.which("node")
        self.node_modules = node_modules
        cache = out / "fontconfig-cache"
        cache.mkdir(parents=True, exist_ok=True)
        self.fonts_conf = out / "fonts.conf"
        self.fonts_conf.write_text(FONTS_CONF.format(cache=cache))
        self.env = dict(os.environ, FONTCONFIG_FILE=str(self.fonts_conf))

    def can_probe(self):
        return bool(self.node and self.node_modules and (self.node_modules / "ws").is_dir())

    def screenshot(self, url, png):
        """Saves the first 1280x900 of URL as PNG after lazy loaders had 5 s of virtual time.
        Returns None when it worked, else what went wrong."""
        png = pathlib.Path(png)
        png.unlink(missing_ok=True)
        with tempfile.TemporaryDirectory(prefix="lorvex-shot-") as profile:
            code, _, _, err = run_bounded(
                # Without the compositor flag a screenshot now and then shows part of the page
                # not yet drawn (seen on the MkDocs copies: the lower rows blank in one run of
                # three); with it every stage finishes before the picture is taken.
                [self.chromium, *CHROMIUM_FLAGS, "--run-all-compositor-stages-before-draw",
                 f"--user-data-dir={profile}", "--virtual-time-budget=5000", f"--screenshot={png}", url],
                SHOT_TIMEOUT, env=self.env)
        if png.is_file() and png.stat().st_size > 0:
            return None
        return f"no screenshot (chromium exit {code}: {err.strip()[-200:]})"

    def probe(self, url, offline):
        """Failed requests and empty images of URL as probe.cjs reports them, or None."""
        if not self.can_probe():
            return None
        cmd = [self.node, str(HERE / "probe.cjs"), "--modules", str(self.node_modules),
               "--chromium", self.chromium, "--url", url, "--limit-ms", str((PROBE_TIMEOUT - 10) * 1000)]
        if offline:
            cmd.append("--offline")
        code, _, out, err = run_bounded(cmd, PROBE_TIMEOUT, env=self.env)
        if code != 0:
            print(f"probe of {url} failed ({code}): {err.strip()[-300:]}", file=sys.stderr)
            return None
        return json.loads(out)


def equal_pixels(reference, other, compare):
    """Percentage of pixels of OTHER equal to REFERENCE within the fuzz, or None when the two
    cannot be compared."""
    code, _, _, err = run_bounded([compare, "-metric", "AE", "-fuzz", FUZZ, str(reference), str(other), "null:"], 120)
    if code not in (0, 1):
        return None
    try:
        differing = float(err.strip().split()[0])
    except (ValueError, IndexError):
        return None
    return 100.0 * (1.0 - differing / (WIDTH * HEIGHT))


def folder_size(folder):
    """(files, bytes) of everything under FOLDER."""
    files = size = 0
    for path in pathlib.Path(folder).rglob("*"):
        if path.is_file():
            files += 1
            size += path.stat().st_size
    return files, size


# --- the tools ----------------------------------------------------------------------------------

def lorvex_has_option(tool, option):
    """Whether TOOL's import takes OPTION: asked without a page, a tool that lacks the
    option names it as an unexpected argument."""
    if not (tool and os.access(tool, os.X_OK)):
        return False
    _, _, out, err = run_bounded([tool, "import", option], 20)
    return "unexpected argument" not in (out + err)


def ensure_singlefile(cache):
    """Installs single-file-cli and ws into CACHE with npm (no browser download: Debian's
    Chromium is used). Returns the node_modules folder, or None when npm is missing or fails."""
    modules = cache / "node_modules"
    package = modules / "single-file-cli" / "package.json"
    if package.is_file() and (modules / "ws").is_dir():
        if json.loads(package.read_text()).get("version") == SINGLEFILE_VERSION:
            return modules
    npm = shutil.which("npm")
    if not npm:
        return None
    cache.mkdir(parents=True, exist_ok=True)
    env = dict(os.environ, PUPPETEER_SKIP_DOWNLOAD="1")
    code, _, out, err = run_bounded(
        [npm, "install", "--prefix", str(cache), "--no-audit", "--no-fund", "--save-exact",
         "--loglevel=error", f"single-file-cli@{SINGLEFILE_VERSION}", f"ws@{WS_VERSION}"],
        NPM_TIMEOUT, env=env)
    if code != 0:
        print(f"npm install failed ({code}): {(out + err).strip()[-500:]}", file=sys.stderr)
        return None
    return modules


class Tools:
    """Saves a page with each tool into a fresh folder; each save returns (the saved page's
    path or None, wall seconds, a note)."""

    def __init__(self, lorvex, modules, chromium):
        self.lorvex = lorvex if lorvex and os.access(lorvex, os.X_OK) else None
        self.complete = lorvex_has_option(self.lorvex, "--complete")
        self.snapshot = lorvex_has_option(self.lorvex, "--snapshot")
        self.singlefile = modules / ".bin" / "single-file" if modules else None
        self.chromium = chromium

    def unavailable(self, slug):
        if slug.startswith("lorvex") and not self.lorvex:
            return "not available (no lorvex tool)"
        if slug == "lorvex-complete" and not self.complete:
            return "not available (no --complete)"
        if slug == "lorvex-snapshot" and not self.snapshot:
            return "not available (no --snapshot)"
        if slug == "wget" and not shutil.which("wget"):
            return "not available (no wget)"
        if slug == "dump-dom" and not self.chromium:
            return "not available (no chromium)"
        if slug == "singlefile" and not (self.singlefile and self.singlefile.exists() and shutil.which("node")):
            return "not available (no single-file-cli)"
        return None

    def save(self, slug, url, folder):
        folder.mkdir(parents=True)
        if slug.startswith("lorvex"):
            mode = {"lorvex-complete": ["--complete"],
                    "lorvex-snapshot": ["--snapshot", "--browser", self.chromium]}.get(slug, [])
            cmd = [self.lorvex, "import", *mode, url, "--work", str(folder), "--doc", "1"]
            page = folder / "1.htm"
        elif slug == "dump-dom":
            # The time a browser takes to render the page and print its DOM, with the flags of
            # the screenshots: what a snapshot costs at least. Nothing is saved.
            cmd = [self.chromium, *CHROMIUM_FLAGS, f"--user-data-dir={folder / 'profile'}",
                   "--dump-dom", url]
            page = None
        elif slug == "wget":
            cmd = ["wget", "-p", "-k", "-E", "-H", "-e", "robots=off", "-q", "--tries=1",
                   "--timeout=20", "-P", str(folder), url]
            page = None
        else:
            # SingleFile sizes its window itself (1280x720 unless told): the same as the
            # screenshots', since pages that lay themselves out by script keep those sizes.
            flags = [f for f in CHROMIUM_FLAGS[1:] if not f.startswith("--window-size")]
            cmd = [str(self.singlefile), url, str(folder / "page.html"),
                   f"--browser-executable-path={self.chromium}", "--browser-args=" + json.dumps(flags),
                   f"--browser-width={WIDTH}", f"--browser-height={HEIGHT}"]
            page = folder / "page.html"
        # The tool's own messages go beside its folder, not into it.
        code, wall, out, err = run_bounded(cmd, TOOL_TIMEOUT)
        (folder.parent / f"{folder.name}.log").write_text(f"$ {' '.join(cmd)}\nexit {code}\n{out}{err}")
        if slug == "wget":
            page = wget_page(folder, url)
        note = "" if code == 0 else f"exit {code}"
        return (page if page and page.is_file() else None), wall, note


def wget_page(folder, url):
    """Where wget -p -E put URL's page: HOST:PORT/PATH (index.html for a folder's address),
    with .html added when -E added it."""
    rest = url.split("://", 1)[1]
    if rest.endswith("/"):
        rest += "index.html"
    page = folder / rest
    if page.is_file():
        return page
    with_html = folder / (rest + ".html")
    return with_html if with_html.is_file() else None


# --- one run ------------------------------------------------------------------------------------

def short(url, copy_root, served):
    """A failed address as a reader wants it: relative to the copy's folder or the served root."""
    url = urllib.parse.unquote(url)
    for prefix in (urllib.parse.unquote(copy_root.as_uri()) + "/", served):
        if url.startswith(prefix):
            return url[len(prefix):]
    return url


def measure_site(name, page, sites_root, out, args, tools, browser, compare):
    url = f"http://127.0.0.1:{args.port}/{page}"
    served = f"http://127.0.0.1:{args.port}/"
    folder = out / name
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    rows = []
    online = {"tool": "online (served)", "slug": "online"}
    saved = {}
    with serve(sites_root, args.port), serve(sites_root / "cdn", args.cdn_port):
        online["shot"] = browser.screenshot(url, folder / "online.png")
        online["probe"] = browser.probe(url, offline=False)
        for label, slug in TOOLS:
            row = {"tool": label, "slug": slug}
            rows.append(row)
            row["note"] = tools.unavailable(slug)
            if row["note"]:
                continue
            page_path, wall, note = tools.save(slug, url, folder / slug)
            row.update(wall=wall, note=note)
            if slug == "dump-dom":
                shutil.rmtree(folder / slug, ignore_errors=True)  # the browser's profile
                row["note"] = note or "time only"
                continue
            row["files"], row["bytes"] = folder_size(folder / slug)
            if page_path is None:
                row["note"] = (note + "; " if note else "") + "no saved page"
            else:
                saved[slug] = page_path
    # The network cut: both servers are stopped; nothing may answer on their ports now.
    cut = port_closed(args.port) and port_closed(args.cdn_port)
    if not cut:
        raise SystemExit(f"a port of the test servers still answers after they stopped ({args.port}, {args.cdn_port})")
    for row in rows:
        page_path = saved.get(row["slug"])
        if not page_path:
            continue
        copy_url = page_path.as_uri()
        png = folder / f"{row['slug']}.png"
        row["shot"] = browser.screenshot(copy_url, png)
        if row["shot"] is None and online["shot"] is None:
            row["equal"] = equal_pixels(folder / "online.png", png, compare)
        row["probe"] = browser.probe(copy_url, offline=True)
        if row["probe"]:
            root = folder / row["slug"]
            row["failed_list"] = [f"{short(f['url'], root, served)} ({f['reason']})" for f in row["probe"]["failed"]]
            row["broken_list"] = [short(u, root, served) for u in row["probe"]["broken"]]
    if online["probe"]:
        online["failed_list"] = [f"{short(f['url'], folder, served)} ({f['reason']})" for f in online["probe"]["failed"]]
        online["broken_list"] = list(online["probe"]["broken"])
    online["equal"] = 100.0 if online["shot"] is None else None
    return {"site": name, "url": url, "online": online, "rows": rows}


def cell(value, fmt="{}"):
    return "-" if value is None else fmt.format(value)


def site_table(result):
    lines = [f"### {result['site']} (`{result['url'].split('/', 3)[3]}`)", "",
             "| tool | equal pixels % | failed requests | broken images | files | bytes | wall s | note |",
             "|---|---:|---:|---:|---:|---:|---:|---|"]
    online = result["online"]
    lines.append(f"| {online['tool']} | {cell(online.get('equal'), '{:.2f}')} | "
                 f"{cell(len(online['failed_list']) if 'failed_list' in online else None)} | "
                 f"{cell(len(online['broken_list']) if 'broken_list' in online else None)} | - | - | - | "
                 f"{online['shot'] or 'the reference'} |")
    for row in result["rows"]:
        lines.append(
            f"| {row['tool']} | {cell(row.get('equal'), '{:.2f}')} | "
            f"{cell(len(row['failed_list']) if 'failed_list' in row else None)} | "
            f"{cell(len(row['broken_list']) if 'broken_list' in row else None)} | "
            f"{cell(row.get('files'))} | {cell(row.get('bytes'))} | {cell(row.get('wall'), '{:.2f}')} | "
            f"{row.get('note') or row.get('shot') or ''} |")
    return "\n".join(lines)


def summary_table(results):
    lines = ["### Mean pixel agreement", "", "| tool | mean equal pixels % | sites | failed requests | broken images |",
             "|---|---:|---:|---:|---:|"]
    for label, slug in TOOLS:
        rows = [r for res in results for r in res["rows"] if r["slug"] == slug]
        equal = [r["equal"] for r in rows if r.get("equal") is not None]
        failed = [len(r["failed_list"]) for r in rows if "failed_list" in r]
        broken = [len(r["broken_list"]) for r in rows if "broken_list" in r]
        if not equal:
            note = next((r["note"] for r in rows if r.get("note")), "no result")
            lines.append(f"| {label} | {note} | 0 | - | - |")
            continue
        lines.append(f"| {label} | {sum(equal) / len(equal):.2f} | {len(equal)} | "
                     f"{sum(failed) if failed else '-'} | {sum(broken) if broken else '-'} |")
    return "\n".join(lines)


def details(results):
    lines = ["### What each copy missed offline", ""]
    for res in results:
        for row in [res["online"], *res["rows"]]:
            missed = row.get("failed_list", []) + [f"{u} (empty image)" for u in row.get("broken_list", [])]
            if missed:
                lines.append(f"- {res['site']}, {row['tool']}: " + "; ".join(missed))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", type=pathlib.Path, default=DEFAULT_OUT)
    parser.add_argument("--port", type=int, default=int(os.environ.get("PORT", "18601")))
    parser.add_argument("--cdn-port", type=int, default=int(os.environ.get("CDN_PORT", "18602")))
    parser.add_argument("--sites", default=",".join(name for name, _ in SITES),
                        help="comma-separated subset of " + ", ".join(name for name, _ in SITES))
    args = parser.parse_args()
    out = args.out.resolve()
    out.mkdir(parents=True, exist_ok=True)

    chromium = program("chromium")
    compare = program("compare", "/usr/bin/compare")
    if not chromium or not compare:
        raise SystemExit("chromium and ImageMagick's compare are needed: run scripts/setup --bench")
    for port in (args.port, args.cdn_port):
        if not port_closed(port):
            raise SystemExit(f"port {port} is in use; choose others with --port / --cdn-port")

    modules = ensure_singlefile(NPM_CACHE)
    lorvex = os.environ.get("LORVEX_TOOL", str(ROOT / "build" / "native" / "lorvex"))
    tools = Tools(lorvex, modules, chromium)
    browser = Browser(chromium, out, modules)
    if not browser.can_probe():
        print("no node or ws package: failed requests and broken images are not counted", file=sys.stderr)

    sites_root = out / "sites"
    code, _, out_text, err = run_bounded(["bash", str(HERE / "make_sites.sh"), str(sites_root)], SITES_TIMEOUT,
                                         env=dict(os.environ, CDN_PORT=str(args.cdn_port)))
    if code != 0:
        raise SystemExit(f"make_sites.sh failed ({code}):\n{out_text}{err}")

    wanted = args.sites.split(",")
    unknown = set(wanted) - {name for name, _ in SITES}
    if unknown:
        raise SystemExit(f"unknown sites: {', '.join(sorted(unknown))}")
    results = []
    for name, page in SITES:
        if name in wanted and not (sites_root / page).exists():
            # The sites of frameworks from npm are built only where scripts/setup --bench installed them.
            print(f"{name}: not built, left out", file=sys.stderr)
        elif name in wanted:
            print(f"{name}: saving and looking", file=sys.stderr)
            results.append(measure_site(name, page, sites_root, out, args, tools, browser, compare))

    header = (f"lorvex: {lorvex}{'' if tools.complete else ' (no --complete)'}; "
              f"pixels equal within {FUZZ} of the online screenshot, {WIDTH}x{HEIGHT}")
    report = "\n\n".join([header, *(site_table(r) for r in results), summary_table(results), details(results)]) + "\n"
    (out / "results.md").write_text(report)
    (out / "results.json").write_text(json.dumps(results, indent=1, default=str) + "\n")
    print(report)
    print(f"screenshots and copies: {out}/<site>/", file=sys.stderr)


if __name__ == "__main__":
    main()
