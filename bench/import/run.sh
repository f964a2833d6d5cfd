#!/usr/bin/env bash
# Saves one generated page with about 600 resources (bench/import/make_site.py), served by a
# private Debian nginx on 127.0.0.1, with every tool a user could pick for it, in one run:
#   lorvex-native  build/native/lorvex import URL --work W --doc 1
#   lorvex-dll     lorvex-host.exe loadhtml ... --quiet under Wine (build/win32/bin)
#   wine-start     lorvex-host.exe list: what starting the host under Wine costs by itself
#   wget           wget -p -k -q -e robots=off -P DIR URL
#   httrack        httrack URL -O DIR -q -%v0 -r2 -n -s0 -I0 -%! -A0 -%c0
#   lorvex-complete  build/native/lorvex import --complete, and
#   wget-EH          wget -p -k -E -H: both on the same site whose style sheets also name
#                    CSS_URLS (default 4) pictures each by url(), served on PORT + 1
# ROUNDS times each, interleaved, every run into a fresh folder. Prints a Markdown table:
# files saved (count, MB), links of the saved top page that name an existing local file, the
# expected files found (and byte copies that are equal) for the lorvex rows, median wall
# time, peak memory, milliseconds per saved file and the ratio to wget.
# A tool that is missing or lacks the page import is listed as not available.
#
#   bench/import/run.sh                       # ROUNDS=3 PORT=18483 RESOURCES=600 TOOL_TIMEOUT=300
#   ROUNDS=5 PORT=18490 bench/import/run.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
"$here/scripts/setup" --bench >&2  # the peers compared against; stdout stays the results
rounds=${ROUNDS:-3}
port=${PORT:-18483}
resources=${RESOURCES:-600}
limit=${TOOL_TIMEOUT:-300}  # seconds that one run of a tool may take
bench="$here/bench/import"
url="http://127.0.0.1:$port/index.htm"

scratch=$(mktemp -d /tmp/lorvex-import-bench-XXXXXX)
nginx_pid= xvfb_pid= wine_used=
stop() {  # stop PID: ends a process that this script started, waiting for it (bounded)
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  timeout 10 tail --pid="$1" -f /dev/null 2>/dev/null || true
}
cleanup() {
  trap '' INT TERM  # a second signal must not cut the cleaning short
  stop "$nginx_pid"
  # Let the Wine server of the prefix end by itself (it was started to linger 5 s) before
  # its display goes away.
  [ -z "$wine_used" ] || timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || true
  stop "$xvfb_pid"
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

times="$scratch/times" counts="$scratch/counts" notes="$scratch/notes"
: >"$times"; : >"$counts"; : >"$notes"
note() { echo "$1 $2" >>"$notes"; }

# --- what can run --------------------------------------------------------------------------
# LORVEX_TOOL and LORVEX_BIN name a native tool and a win32 bin folder built elsewhere; without
# them the tool and the library are built here.
lorvex=${LORVEX_TOOL:-$here/build/native/lorvex}
native=
if [ -z "${LORVEX_TOOL:-}" ]; then
  (cd "$here" && cmake --preset native >/dev/null && cmake --build --preset native --target lorvex >/dev/null) 2>/dev/null || true
fi
if [ -x "$lorvex" ] && { "$lorvex" 2>&1 || true; } | grep -q '^ *lorvex import'; then
  native=yes
else
  note lorvex-native "not available (no import command in $lorvex)"
fi

bin=${LORVEX_BIN:-$here/build/win32/bin}
dll=
if [ -z "${LORVEX_BIN:-}" ] && command -v i686-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  (cd "$here" && cmake --preset win32 >/dev/null && cmake --build --preset win32 --target lorvex lorvex-host morquill >/dev/null) 2>/dev/null || true
fi
if [ -f "$bin/lorvex-host.exe" ] && [ -f "$bin/lorvex.dll" ] && command -v wine >/dev/null; then
  dll=yes
else
  note lorvex-dll "not available (no lorvex-host.exe in $bin, or no wine)"
fi

command -v httrack >/dev/null || note httrack "not available (httrack is not installed)"
command -v wget >/dev/null || note wget "not available (wget is not installed)"

# --- the site and its server ---------------------------------------------------------------
site="$scratch/site"
python3 "$bench/make_site.py" "$site" --resources "$resources" >&2
# The complete-mode rows save the same site whose style sheets also name pictures by url(),
# served on the next port.
css_site="$scratch/css-site"
css_port=$((port + 1))
css_url="http://127.0.0.1:$css_port/index.htm"
python3 "$bench/make_site.py" "$css_site" --resources "$resources" --css-urls "${CSS_URLS:-4}" >&2
mkdir -p "$scratch/nginx"
cat >"$scratch/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
master_process off;
pid $scratch/nginx/nginx.pid;
error_log $scratch/nginx/error.log;
events { worker_connections 256; }
http {
  access_log off;
  sendfile on;
  keepalive_requests 100000;
  client_body_temp_path $scratch/nginx;
  proxy_temp_path $scratch/nginx;
  fastcgi_temp_path $scratch/nginx;
  uwsgi_temp_path $scratch/nginx;
  scgi_temp_path $scratch/nginx;
  types {
    text/html htm html; text/css css; application/javascript js;
    image/gif gif; image/png png; image/jpeg jpg jpeg;
  }
  server {
    listen 127.0.0.1:$port;
    root $site;
  }
  server {
    listen 127.0.0.1:$css_port;
    root $css_site;
  }
}
CONF
"$(PATH="$PATH:/usr/sbin" command -v nginx)" -c "$scratch/nginx/nginx.conf" -p "$scratch/nginx" &
nginx_pid=$!
for _ in $(seq 50); do curl -sf --max-time 2 -o /dev/null "$url" && break; sleep 0.1; done
curl -sf --max-time 5 -o /dev/null "$url" || { echo "nginx did not serve $url:" >&2; cat "$scratch/nginx/error.log" >&2; exit 1; }

# --- Wine: a display for the library's windows, a prefix and a warm server -----------------
if [ -n "$dll" ]; then
  export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
  display=${DISPLAY:-}
  if command -v Xvfb >/dev/null; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
    [ -s "$scratch/display" ] && display=":$(head -n 1 "$scratch/display")"
  fi
  if [ -z "$display" ]; then
    dll=
    note lorvex-dll "not available (no X display: install xvfb)"
  else
    export DISPLAY=$display
    timeout 900 "$here/scripts/wine-prefix" || true
    wine_used=yes
    timeout 60 wineserver -p5 </dev/null >/dev/null 2>&1 || true
    timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  fi
fi

# --- one run -------------------------------------------------------------------------------
# run_tool NAME DIR CMD...: runs CMD with DIR as a new empty folder; appends "NAME WALL KIB"
# to the times. Wall time from the shell's microsecond clock, peak memory from GNU time. A
# tool whose first run takes longer than SLOW seconds runs only once.
slow=${SLOW:-60}
run_tool() {
  local name=$1 dir=$2 status=0; shift 2
  [ ! -e "$scratch/$name.once" ] || return 0
  rm -rf "$dir" && mkdir -p "$dir"
  local start=$EPOCHREALTIME
  command time -f '%M' -o "$scratch/rss" timeout -k 5 "$limit" "$@" \
    </dev/null >"$scratch/$name.out" 2>"$scratch/$name.err" || status=$?
  local wall
  wall=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f", b - a }')
  local kib
  kib=$(tail -n 1 "$scratch/rss" | grep -E '^[0-9]+$' || echo 0)
  echo "$name $wall $kib" >>"$times"
  if awk -v t="$wall" -v slow="$slow" 'BEGIN { exit !(t > slow) }'; then
    touch "$scratch/$name.once"
    note "$name" "1 run (over ${slow} s)"
  fi
  if ((status == 124 || status == 137)); then
    note "$name" "timed out after ${limit} s"
  elif ((status != 0)); then
    note "$name" "exit status $status"
  fi
}
# count NAME DIR TOP_PAGE [--expected SITE]: what the last run of NAME saved.
count() { python3 "$bench/check.py" count "$@" >"$scratch/$1.count"; }

winpath() { echo "Z:${1//\//\\}"; }
on_errors=()
[ -n "$dll" ] && grep -qa -- '--on-errors' "$bin/lorvex-host.exe" && on_errors=(--on-errors ok)

out="$scratch/out"
for round in $(seq "$rounds"); do
  if [ -n "$native" ]; then
    run_tool lorvex-native "$out/native" "$lorvex" import "$url" --work "$out/native" --doc 1
    count lorvex-native "$out/native" "$out/native/1.htm" --expected "$site"
  fi
  if [ -n "$dll" ]; then
    # The Wine server lingers 5 s after its last process: wake it, untimed, so that both
    # Wine rows find it running whatever the other tools took.
    timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    (cd "$bin" && run_tool wine-start "$out/start" "$here/scripts/wine-run" lorvex-host.exe list)
    if [ ! -e "$scratch/lorvex-dll.once" ]; then
      (cd "$bin" && run_tool lorvex-dll "$out/dll" "$here/scripts/wine-run" lorvex-host.exe loadhtml \
        --html-file "$(winpath "$site/index.htm")" --location "http://127.0.0.1:$port/" \
        --work "$(winpath "$out/dll/work")" --doc 1 --quiet "${on_errors[@]}" --out "$(winpath "$out/dll/out.zip")")
      grep -q 'result=false' "$scratch/lorvex-dll.out" && note lorvex-dll "result=false"
      # Count what the host received (the archive) when there is one, else the work folder.
      saved="$out/dll/work"
      if [ -s "$out/dll/out.zip" ] && unzip -q -o "$out/dll/out.zip" -d "$out/dll/unpacked" 2>/dev/null; then
        saved="$out/dll/unpacked"
      fi
      count lorvex-dll "$saved" "$saved/1.htm" --expected "$site"
    fi
  fi
  if command -v wget >/dev/null; then
    run_tool wget "$out/wget" wget -p -k -q -e robots=off -P "$out/wget" "$url"
    count wget "$out/wget" "$out/wget/127.0.0.1:$port/index.htm"
  fi
  # Complete pages: the site with url() in its style sheets.
  if [ -n "$native" ] && { "$lorvex" import 2>&1 || true; } | grep -q -- '--complete'; then
    run_tool lorvex-complete "$out/complete" "$lorvex" import "$css_url" --work "$out/complete" --doc 1 --complete
    count lorvex-complete "$out/complete" "$out/complete/1.htm" --expected "$css_site"
  fi
  if command -v wget >/dev/null; then
    run_tool wget-EH "$out/wget-EH" wget -p -k -E -H -q -e robots=off -P "$out/wget-EH" "$css_url"
    count wget-EH "$out/wget-EH" "$out/wget-EH/127.0.0.1:$css_port/index.htm"
  fi
  if command -v httrack >/dev/null; then
    # -r2: the page and what it links to; -n: and the files those pages need. -%! -A0 -%c0
    # lift the built-in rate limits (about one file a second otherwise); -s0 ignores
    # robots.txt, -I0 writes no index page of its own.
    run_tool httrack "$out/httrack" httrack "$url" -O "$out/httrack" -q -%v0 -r2 -n -s0 -I0 -%! -A0 -%c0
    count httrack "$out/httrack" "$out/httrack/127.0.0.1_$port/index.html"
  fi
done
cat "$scratch"/*.count >"$counts" 2>/dev/null || true

echo "Page import of $url: $(($(wc -l <"$site/expected.tsv") - 1)) resources besides the top page, $rounds rounds, interleaved; medians"
echo
python3 "$bench/check.py" table "$times" "$counts" "$notes" wget
