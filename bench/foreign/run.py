#!/usr/bin/env python3
"""Unclosed foreign content: `lorvex import --complete` on a page of <svg>, N <g> and N end tags
that match nothing (the tree keeps every g open and each end tag is looked up among them), for N
and twice N, next to the default mode on the same page.

usage: bench/foreign/run.py [--tool PATH] [--n 40000] [--runs 3] [--work DIR]

Prints a Markdown table: nesting, page size, best wall time of the runs per mode and the
ratio complete / default; then, per mode, the time of the page twice as deep over the first
(linear: about 2; quadratic: about 4). Runs on a local file, so no network is involved.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
TIMEOUT = 600  # seconds one import may take


def page(n):
    # A style after the svg shows whether the end tags ended it: here none does.
    return b"<html><body><svg>" + b"<g>" * n + b"</x>" * n + b"<style>a{}</style></body></html>\n"


def best_time(argv, runs):
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, timeout=TIMEOUT)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", default=os.path.join(ROOT, "build", "native", "lorvex"))
    parser.add_argument("--n", type=int, default=40000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work")
    args = parser.parse_args()
    if not os.access(args.tool, os.X_OK):
        sys.exit("no tool at %s (cmake --build --preset native)" % args.tool)
    with tempfile.TemporaryDirectory(dir=args.work) as work:
        times = {}
        print("| nesting | page bytes | default s | complete s | complete / default |")
        print("|---|---|---|---|---|")
        for n in (args.n, 2 * args.n):
            name = os.path.join(work, "p%d.htm" % n)
            with open(name, "wb") as f:
                f.write(page(n))
            for mode, extra in (("default", []), ("complete", ["--complete"])):
                out = os.path.join(work, "%s%d" % (mode, n))
                os.mkdir(out)
                times[mode, n] = best_time(
                    [args.tool, "import", name, "--work", out, "--doc", "1", *extra], args.runs)
            print("| %d | %d | %.3f | %.3f | %.1f |" % (
                n, os.path.getsize(name), times["default", n], times["complete", n],
                times["complete", n] / times["default", n]))
        for mode in ("default", "complete"):
            print("%s: twice the nesting takes %.2f times as long" % (
                mode, times[mode, 2 * args.n] / times[mode, args.n]))


if __name__ == "__main__":
    main()
