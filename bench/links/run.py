#!/usr/bin/env python3
"""Link rewriting benchmark: `lorvex rewrite` on a large generated page and on one twice as
large, next to `tr -d '\\r'` on the same files.

usage: bench/links/run.py [--tool PATH] [--mb 24] [--runs 3] [--work DIR]

Reports, per page: size, reference-bearing tags, best wall time of the runs, MB/s, CPU time
(user + system), peak memory (GNU time -v), tr's best wall and CPU time and the
ratio of the two; then the time ratio of the larger page to the smaller (linear: about 2).
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
REF_TAG = re.compile(rb"<(?:img|a|link|script|td|embed|iframe|frame|meta|base|body)[ \r\n]", re.I)


def timed(argv, stdin_path, stdout_path):
    """Runs argv under GNU time -v; returns (wall s, cpu s, peak KB)."""
    with open(stdin_path, "rb") as fin, open(stdout_path, "wb") as fout:
        proc = subprocess.run(["time", "-v", *argv], stdin=fin, stdout=fout, stderr=subprocess.PIPE)
    if proc.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(argv), proc.stderr.decode(errors="replace")))
    info = proc.stderr.decode()

    def field(name):
        return re.search(re.escape(name) + r": (.*)", info).group(1).strip()

    wall = field("Elapsed (wall clock) time (h:mm:ss or m:ss)")
    seconds = 0.0
    for part in wall.split(":"):
        seconds = seconds * 60 + float(part)
    cpu = float(field("User time (seconds)")) + float(field("System time (seconds)"))
    return seconds, cpu, int(field("Maximum resident set size (kbytes)"))


def best(argv, stdin_path, stdout_path, runs):
    results = [timed(argv, stdin_path, stdout_path) for _ in range(runs)]
    return min(r[0] for r in results), min(r[1] for r in results), max(r[2] for r in results)


def main():
    # The peers compared against; setup reports on stderr so stdout stays the results.
    subprocess.run([os.path.join(ROOT, "scripts", "setup"), "--bench"], stdout=sys.stderr, check=True)
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", default=os.path.join(ROOT, "build", "native", "lorvex"))
    parser.add_argument("--mb", type=float, default=24)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", default=None)
    args = parser.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="lorvex-links-bench-")
    os.makedirs(work, exist_ok=True)
    rows = []
    for scale in (1, 2):
        page = os.path.join(work, "page%d.htm" % scale)
        if not os.path.exists(page):
            subprocess.run([sys.executable, os.path.join(HERE, "gen_page.py"), page, str(args.mb * scale)], check=True)
        with open(page, "rb") as f:
            data = f.read()
        size_mb = len(data) / (1024 * 1024)
        tags = len(REF_TAG.findall(data))
        out = os.path.join(work, "out%d.htm" % scale)
        cmd = [args.tool, "rewrite", page, "--local-folder", "5.files", "--page-url", "http://h/d/p.htm"]
        wall, cpu, peak = best(cmd, os.devnull, out, args.runs)
        tr_wall, tr_cpu, _ = best(["tr", "-d", "\r"], page, out + ".tr", args.runs)
        rows.append((scale, size_mb, tags, wall, cpu, peak, tr_wall, tr_cpu, " ".join(cmd)))

    print("| page | size MB | ref tags | rewrite wall s | MB/s | rewrite CPU s | peak MB | tr wall s | tr CPU s | wall ratio | CPU ratio |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for scale, size_mb, tags, wall, cpu, peak, tr_wall, tr_cpu, _ in rows:
        print("| %dx | %.1f | %d | %.3f | %.0f | %.3f | %.0f | %.3f | %.3f | %.1f | %.1f |" % (
            scale, size_mb, tags, wall, size_mb / wall, cpu, peak / 1024, tr_wall, tr_cpu,
            wall / max(tr_wall, 1e-3), cpu / max(tr_cpu, 1e-3)))
    print()
    print("2x / 1x time ratio: wall %.2f, CPU %.2f (target at most 2.2)" % (
        rows[1][3] / rows[0][3], rows[1][4] / max(rows[0][4], 1e-3)))
    print("commands: %s  |  tr -d '\\r' < PAGE > OUT   (pages in %s)" % (rows[0][8], work))


if __name__ == "__main__":
    main()
