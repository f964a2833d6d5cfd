#!/usr/bin/env python3
"""The page-import benchmark's site behind a server that waits before every answer, as a
server that far away would: each tool saves the page once per delay, in one run, and the
table gives wall times and ratios.

usage: bench/import/latency.py [--delays 10,30,100] [--resources 600] [--timeout 600]

Rows: `lorvex import` natively with --connections 1 and with its default (6); the DLL under
Wine (lorvex-host.exe loadhtml --quiet) with Connections 1 and its default; `wget -p -k`;
HTTrack with its own connection setting (-c6). The tools come from build/native and
build/win32/bin of this tree (LORVEX_TOOL and LORVEX_BIN name others). The server is Python's
threading HTTP server serving make_site.py's files; it answers any number of connections at
once and keeps them alive.
"""
import argparse
import functools
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


class DelayedHandler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    delay = 0.0
    # Headers and body go out as they are written: with Nagle's algorithm on, the body would
    # wait for the acknowledgement of the headers, which the client delays (about 40 ms).
    disable_nagle_algorithm = True

    def send_head(self):
        time.sleep(self.delay)
        return super().send_head()

    def log_message(self, *args):
        pass


def serve(folder, delay):
    handler = functools.partial(type("H", (DelayedHandler,), {"delay": delay / 1000}),
                                directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def count_files(folder):
    return sum(len(files) for _, _, files in os.walk(folder))


def timed(args, cwd=None, timeout=600, env=None):
    start = time.monotonic()
    try:
        done = subprocess.run(args, cwd=cwd, capture_output=True, timeout=timeout,
                              stdin=subprocess.DEVNULL, env=env)
        status = done.returncode
    except subprocess.TimeoutExpired:
        status = "timeout"
    return time.monotonic() - start, status


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--delays", default="10,30,100")
    parser.add_argument("--resources", type=int, default=600)
    parser.add_argument("--timeout", type=int, default=600)
    options = parser.parse_args()
    tool = os.environ.get("LORVEX_TOOL", os.path.join(ROOT, "build/native/lorvex"))
    bin_dir = os.environ.get("LORVEX_BIN", os.path.join(ROOT, "build/win32/bin"))
    scratch = tempfile.mkdtemp(prefix="lorvex-latency-")
    try:
        site = os.path.join(scratch, "site")
        subprocess.run([sys.executable, os.path.join(HERE, "make_site.py"), site,
                        "--resources", str(options.resources)], check=True,
                       stdout=subprocess.DEVNULL)
        with open(os.path.join(site, "expected.tsv"), encoding="utf-8") as listing:
            answers = sum(1 for line in listing if line.strip())
        wine_env = dict(os.environ, WINEPREFIX=os.path.join(ROOT, "build/wineprefix"),
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win32")
        have_wine = shutil.which("wine") and os.path.exists(os.path.join(bin_dir, "lorvex-host.exe"))
        if have_wine:
            subprocess.run([os.path.join(ROOT, "scripts/wine-prefix")], env=wine_env,
                           capture_output=True)
            subprocess.run(["wine", "cmd", "/c", "exit"], env=wine_env, capture_output=True)
        rows = []
        for delay in [int(d) for d in options.delays.split(",")]:
            server = serve(site, delay)
            url = "http://127.0.0.1:%d/index.htm" % server.server_address[1]
            results = {}

            def run(name, args, out, **kw):
                os.makedirs(out, exist_ok=True)
                seconds, status = timed(args, timeout=options.timeout, **kw)
                results[name] = (seconds, count_files(out), status)

            n = 0
            for connections in (1, 6):
                n += 1
                out = os.path.join(scratch, "r%d-%d" % (delay, n))
                run("lorvex import --connections %d" % connections,
                    [tool, "import", url, "--work", out, "--doc", "1", "--connections",
                     str(connections)], out)
            if have_wine:
                for connections in (1, 6):
                    n += 1
                    out = os.path.join(scratch, "r%d-%d" % (delay, n))
                    args = ["xvfb-run", "-a", "wine", "lorvex-host.exe", "loadhtml",
                            "--html-file", winpath(os.path.join(site, "index.htm")),
                            "--location", url[: -len("index.htm")], "--work", winpath(out),
                            "--doc", "1", "--quiet", "--on-errors", "ok",
                            "--connections", str(connections)]
                    run("DLL under Wine, Connections %d" % connections, args, out, cwd=bin_dir,
                        env=wine_env)
            if shutil.which("wget"):
                n += 1
                out = os.path.join(scratch, "r%d-%d" % (delay, n))
                run("wget -p -k", ["wget", "-p", "-k", "-q", "-e", "robots=off", "-P", out, url], out)
            if shutil.which("httrack"):
                n += 1
                out = os.path.join(scratch, "r%d-%d" % (delay, n))
                run("httrack -c6", ["httrack", url, "-O", out, "-q", "-%v0", "-r2", "-n", "-s0",
                                    "-I0", "-%!", "-A0", "-%c0", "-c6"], out)
            server.shutdown()
            server.server_close()
            wget = results.get("wget -p -k", (None,))[0]
            # No tool can do better than every answer's delay spread over six connections.
            floor = answers * delay / 1000 / 6
            rows.append("| %d ms | floor: %d answers × %d ms ÷ 6 | %.1f s | - | %s | - | - |" % (
                delay, answers, delay, floor, "%.1f×" % (wget / floor) if wget else "-"))
            for name, (seconds, files, status) in results.items():
                ratio = "%.1f×" % (wget / seconds) if wget else "-"
                rows.append("| %d ms | %s | %.1f s | %d | %s | %.2f | %s |" % (
                    delay, name, seconds, files, ratio, seconds / floor, status))
        print("| delay | tool | wall time | files written | speed vs wget -p -k | × floor | exit |")
        print("|---|---|---|---|---|---:|---|")
        print("\n".join(rows))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
