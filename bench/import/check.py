#!/usr/bin/env python3
"""What one tool's page save left behind, and the benchmark's table.

  check.py count NAME DIR TOP_PAGE [--expected SITE] >> counts
      one line "NAME FILES BYTES LOCAL_LINKS ALL_LINKS FOUND EXPECTED SAME": the files under
      DIR (without a mirroring tool's own cache, log and notes), the src/href/background values
      of the saved top page and how many of them name a file that exists, and, with
      --expected, how many files of SITE/expected.tsv are in DIR and how many of those that
      must be byte copies are ("-" without --expected).
  check.py table TIMES COUNTS NOTES REFERENCE
      the Markdown table: TIMES has "NAME WALL_S PEAK_KIB" per run, NOTES "NAME TEXT" lines.
"""
import os
import re
import statistics
import sys
import urllib.parse

# Files that mirroring tools keep for themselves beside what they save.
TOOL_FILES = re.compile(r"(^|/)(hts-cache(/|$)|hts-log\.txt$|hts-in_progress\.lock$)|\.readme$")
LINK = re.compile(rb"""[\s"'](?:src|href|background)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'<>]+))""", re.I)
TAG = re.compile(rb"<[a-zA-Z][^<>]*>")


def saved_files(root):
    """{relative path: size} of what a tool saved under root."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            full = os.path.join(folder, name)
            rel = os.path.relpath(full, root).replace(os.sep, "/")
            if not TOOL_FILES.search(rel):
                files[rel] = os.path.getsize(full)
    return files


def link_values(html):
    """The src, href and background values of the tags of an HTML text, in order."""
    values = []
    for tag in TAG.findall(html):
        for match in LINK.finditer(tag):
            values.append(next(v for v in match.groups() if v is not None))
    return values


def is_local_copy(value, folder):
    """True when value, a link in a page saved in folder, names a file on disk there: a
    relative reference (no scheme, not root-relative) whose path, with the query and fragment
    cut off at the raw separators and then decoded, exists."""
    text = value.decode("latin-1").strip()
    if not text or re.match(r"^[a-zA-Z][a-zA-Z0-9+.-]*:", text) or text.startswith(("/", "\\")):
        return False
    path = urllib.parse.unquote(re.split(r"[?#]", text, maxsplit=1)[0], encoding="latin-1")
    return bool(path) and os.path.isfile(os.path.join(folder, path.replace("\\", "/")))


def count_links(page):
    with open(page, "rb") as f:
        values = link_values(f.read())
    folder = os.path.dirname(page)
    return sum(is_local_copy(v, folder) for v in values), len(values)


def compare_expected(root, site):
    """(found, expected, same): files of site/expected.tsv present under root, their number,
    and how many of the byte copies among them equal the served file."""
    found = same = total = 0
    with open(os.path.join(site, "expected.tsv")) as f:
        for line in f:
            local, source, check = line.rstrip("\n").split("\t")
            total += 1
            path = os.path.join(root, local)
            if not os.path.isfile(path):
                continue
            found += 1
            if check == "same":
                with open(path, "rb") as a, open(os.path.join(site, source), "rb") as b:
                    same += a.read() == b.read()
    return found, total, same


def count(args):
    name, root, top = args[:3]
    files = saved_files(root) if os.path.isdir(root) else {}
    local, links = count_links(top) if os.path.isfile(top) else (0, 0)
    found = total = same = "-"
    if len(args) == 5 and args[3] == "--expected":
        found, total, same = compare_expected(root, args[4])
    print(name, len(files), sum(files.values()), local, links, found, total, same)


def table(args):
    times_file, counts_file, notes_file, reference = args
    runs, counts, notes, order = {}, {}, {}, []
    for line in open(times_file):
        name, wall, kib = line.split()
        runs.setdefault(name, []).append((float(wall), int(kib)))
        if name not in order:
            order.append(name)
    for line in open(counts_file):
        fields = line.split()
        counts[fields[0]] = fields[1:]
    for line in open(notes_file):
        name, _, text = line.rstrip("\n").partition(" ")
        if text not in notes.setdefault(name, []):
            notes[name].append(text)
        if name not in order:
            order.append(name)
    ref = statistics.median(w for w, _ in runs[reference]) if reference in runs else None
    print("| tool | files | MB | links local/all | expected found (same bytes) | wall s | peak MiB | ms/resource | wall / %s | note |"
          % reference)
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    for name in order:
        note = "; ".join(notes.get(name, []))
        if name not in runs:
            print("| %s | - | - | - | - | - | - | - | - | %s |" % (name, note or "not available"))
            continue
        wall = statistics.median(w for w, _ in runs[name])
        peak = max(k for _, k in runs[name]) / 1024
        ratio = "%.2f" % (wall / ref) if ref else "-"
        if name not in counts:  # timed only, nothing saved to count
            print("| %s | - | - | - | - | %.3f | %.1f | - | %s | %s |" % (name, wall, peak, ratio, note))
            continue
        files, size, local, links, found, total, same = counts[name]
        files = int(files)
        expected = "-" if found == "-" else "%s/%s (%s)" % (found, total, same)
        per = "%.2f" % (wall * 1000 / files) if files else "-"
        print("| %s | %d | %.2f | %s/%s | %s | %.3f | %.1f | %s | %s | %s |" % (
            name, files, int(size) / 1e6, local, links, expected, wall, peak, per, ratio, note))


def main():
    command, args = sys.argv[1], sys.argv[2:]
    {"count": count, "table": table}[command](args)


if __name__ == "__main__":
    main()
