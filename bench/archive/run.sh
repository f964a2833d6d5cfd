#!/usr/bin/env bash
# Times `lorvex mht` against the tools a user would otherwise pick to take a web archive
# apart, on one generated saved page (a large quoted-printable page and many base64 image
# parts), in one run: Python's email package writing every part to a file, ripmime and
# munpack. Then base64 decoding alone: the import's decoder against `base64 -d`.
# Every tool writes into a fresh folder on tmpfs (/dev/shm), so disk speed does not count.
# Prints medians, MB/s, peak memory and ratios.
#
# usage: bench/archive/run.sh [MEGABYTES (default 100)] [PARTS (default 2000)] [RUNS (default 5)]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
"$here/scripts/setup" --bench >&2  # the peers compared against; stdout stays the results
source "$here/bench/common.sh"
size=${1:-100} parts=${2:-2000} runs=${3:-5}
out="$here/bench/out"
mkdir -p "$out"
archive="$out/archive-${size}MB-${parts}.mht"
[ -f "$archive" ] || python3 "$here/bench/archive/make_archive.py" "$archive" "$size" "$parts"
b64="$out/base64-${size}MB.txt"
[ -f "$b64" ] || python3 -c "
import base64, random, sys
sys.stdout.buffer.write(base64.encodebytes(random.Random(3).randbytes(int($size * 1e6 * 3 / 4))))" > "$b64"

cmake --preset native >/dev/null && cmake --build --preset native --target lorvex lorvex_core >/dev/null
lorvex="$here/build/native/lorvex"
decoder="$out/base64_decode"
g++ -O2 -std=c++20 -I"$here/src" "$here/bench/archive/base64_decode.cpp" \
  "$here/build/native/liblorvex_core.a" -o "$decoder"

scratch=$(mktemp -d /dev/shm/lorvex-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
# Each run writes into a new empty folder (made by mktemp, about a millisecond); the
# folders are removed between tools, outside the timing.
new='d=$(mktemp -d -p '"'$scratch'"')'
count() { find "$scratch" -type f | wc -l; }

bytes=$(stat -c %s "$archive")
echo "archive: $archive ($bytes bytes, $parts parts), $runs runs each"
{
  measure "lorvex-mht" "$runs" sh -c "$new && exec '$lorvex' mht '$archive' --work \$d --doc 1"
  echo "files lorvex-mht $(count)" >&2; rm -rf "${scratch:?}"/*
  measure "ripmime" "$runs" sh -c "$new && exec ripmime -i '$archive' -d \$d"
  echo "files ripmime $(count)" >&2; rm -rf "${scratch:?}"/*
  measure "munpack" "$runs" sh -c "$new && exec munpack -q -C \$d '$archive'"
  echo "files munpack $(count)" >&2; rm -rf "${scratch:?}"/*
  measure "python-email" "$runs" sh -c "$new && exec python3 '$here/bench/archive/email_extract.py' '$archive' \$d"
  echo "files python-email $(count)" >&2; rm -rf "${scratch:?}"/*
} | table "$bytes" lorvex-mht
echo
bytes=$(stat -c %s "$b64")
echo "base64 text: $b64 ($bytes bytes), $runs runs each"
{
  measure "lorvex-base64" "$runs" sh -c "exec '$decoder' < '$b64'"
  measure "base64-d" "$runs" sh -c "exec base64 -d < '$b64'"
} | table "$bytes" lorvex-base64
