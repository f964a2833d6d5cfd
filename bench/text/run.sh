#!/usr/bin/env bash
# Times `lorvex text` against the converters a user would otherwise pick, on one large page,
# in one run: Debian's html2text, lynx and w3m, with `tr -d '\r'` as the floor that a
# one-pass byte filter reaches. Prints medians, MB/s, peak memory and ratios.
#
# usage: bench/text/run.sh [MEGABYTES (default 20)] [RUNS (default 5)]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
"$here/scripts/setup" --bench >&2  # the peers compared against; stdout stays the results
source "$here/bench/common.sh"
size=${1:-20} runs=${2:-5}
out="$here/bench/out"
mkdir -p "$out"
page="$out/text-page-${size}MB.htm"
[ -f "$page" ] || python3 "$here/bench/text/make_page.py" "$page" "$size"
cmake --preset native >/dev/null && cmake --build --preset native --target lorvex >/dev/null
lorvex="$here/build/native/lorvex"
bytes=$(stat -c %s "$page")
echo "page: $page ($bytes bytes), $runs runs each"
{
  measure "lorvex-text" "$runs" "$lorvex" text "$page"
  measure "tr-d-CR" "$runs" sh -c "tr -d '\r' < '$page'"
  measure "html2text" "$runs" html2text "$page"
  measure "lynx-dump" "$runs" lynx -dump -force_html "$page"
  measure "w3m-dump" "$runs" sh -c "w3m -dump -T text/html < '$page'"
} | table "$bytes" lorvex-text
