#!/usr/bin/env bash
# A page saved as the browser rendered it, three ways, side by side: the browser's own DOM dump
# (the least a rendering costs), the native tool's --snapshot, and the DLL rendering the file
# itself under Wine (lorvex-host run --snapshot --browser), beside the DLL saving the same file
# without rendering it.
#
#   bench/snapshot/run.sh [RUNS]      (default 3; needs the native and win32 presets built)
#
# The page is built by its script: a heading, a picture it names only in code, a link that runs
# code. Prints the median wall time of each and its ratio to the DOM dump.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$here/bench/common.sh"
runs=${1:-3}
tool=${LORVEX_TOOL:-$here/build/native/lorvex}
bin=$here/build/win32/bin
chromium=$(command -v chromium || echo /usr/bin/chromium)
for needed in "$tool" "$bin/lorvex-host.exe" "$chromium"; do
  [ -e "$needed" ] || { echo "bench/snapshot: $needed is missing (build the presets)" >&2; exit 2; }
done

scratch=$(mktemp -d /tmp/lorvex-bench-snapshot-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
page=$scratch/page
mkdir -p "$page"
cat >"$page/file.htm" <<'HTML'
<!DOCTYPE html><html><head><title>Harbour</title>
<script src="app.js" defer></script>
</head><body><div id="root"></div>
<noscript><p>This page needs scripts.</p></noscript>
</body></html>
HTML
cat >"$page/app.js" <<'JS'
document.getElementById('root').innerHTML = '<h1 onclick="alert(1)">Built by the script</h1>' +
  '<img src="photo.gif" width="40"><a href="javascript:void(0)">menu</a>';
JS
printf 'GIF89a\001\000\001\000\200\000\000\000\000\000\377\377\377!\371\004\001\000\000\000\000,\000\000\000\000\001\000\001\000\000\002\002D\001\000;' >"$page/photo.gif"

export WINEPREFIX=$here/build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
"$here/scripts/wine-prefix" >/dev/null
winpage="Z:${page//\//\\}\\file.htm"
winwork="Z:${scratch//\//\\}\\dll"
profile=$scratch/profile

# The host run shows its progress dialog: the whole comparison runs in a virtual display, with
# one warm Wine server so that its start is not counted.
export page scratch winpage winwork profile tool bin chromium runs here
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  source "$here/bench/common.sh"
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  # The host as one program, for the timer: its run of the file with the options given.
  printf "#!/bin/sh\ncd \"%s\" && exec wine lorvex-host.exe run --index 0 --file \"%s\" --work \"%s\" --doc 1 --out \"%s.zip\" \"\$@\"\n" \
    "$bin" "$winpage" "$winwork" "$winwork" >"$scratch/host"
  chmod +x "$scratch/host"
  {
    measure chromium-dump-dom "$runs" "$chromium" --headless --no-sandbox --disable-gpu \
      --user-data-dir="$profile" --dump-dom "file://$page/file.htm"
    measure lorvex-snapshot "$runs" "$tool" import "$page/file.htm" --work "$scratch/native" \
      --doc 1 --snapshot --browser "$chromium"
    measure dll-snapshot "$runs" "$scratch/host" --snapshot --browser "Z:${chromium//\//\\}"
    measure dll-complete "$runs" "$scratch/host" --complete
  } | table "$(stat -c %s "$page/file.htm")" chromium-dump-dom
  wineserver -k </dev/null >/dev/null 2>&1 || true'
