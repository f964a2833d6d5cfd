#!/usr/bin/env bash
# Builds the test sites that come from frameworks installed with npm (scripts/setup --bench puts
# them into bench/complete/frameworks/) into OUT, one folder each:
#   OUT/vite-react/index.html    Vite with React: an app whose body is only its root element,
#                                a client router (tides/ is its second page), data it fetches,
#                                a web component with an open shadow root, CSS-in-JS
#                                (styled-components, whose rules live only in the CSS object
#                                model) and a chunk that the script loads later
#   OUT/astro/index.html         Astro, static output: Preact islands hydrated by the page's
#                                scripts (client:load, client:visible) that look otherwise until
#                                they have run, scoped styles; keepers/ is a second page
#   OUT/vitepress/guide.html     VitePress with its default theme: a client router between the
#                                pages (index.html, guide.html, harbours.html), the dark-mode
#                                script and switch, local search, the page outline that the
#                                theme's script fills in
# The builds need no network. Without the frameworks it says so and builds nothing (exit 0),
# so that make_sites.sh still builds the other sites. With the same packages every run writes
# the same bytes.
#
#   bench/complete/make_app_sites.sh OUT
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: bench/complete/make_app_sites.sh OUT" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sites="$here/sites"
modules="$here/frameworks/node_modules"
out=$(mkdir -p "$1" && cd "$1" && pwd)
convert=/usr/bin/convert
[ -x "$convert" ] || convert=$(command -v convert)

if [ ! -x "$modules/.bin/vite" ]; then
  echo "make_app_sites: no frameworks in $modules (scripts/setup --bench installs them); none built" >&2
  exit 0
fi
export SOURCE_DATE_EPOCH=1700000000 TZ=UTC LC_ALL=C.UTF-8
scratch=$(mktemp -d /tmp/lorvex-app-sites-XXXXXX)
held=""  # the fixed build folder of the Astro site while this script holds its lock
trap 'rm -rf "$scratch" $held' EXIT

# picture OUT W H FROM TO LABEL: a gradient with a label, no dates stored (as make_sites.sh).
picture() {
  local file=$1 w=$2 h=$3 from=$4 to=$5 label=$6
  local pt=$((h / 8 > 10 ? h / 8 : 10))
  mkdir -p "$(dirname "$file")"
  "$convert" -size "${w}x${h}" "gradient:$from-$to" \
    -fill white -font DejaVu-Sans-Bold -pointsize "$pt" -annotate "+$((w / 20))+$((pt + h / 20))" "$label" \
    -strip -define png:exclude-chunks=date,time -quality 85 "$file"
}

# --- Vite with React --------------------------------------------------------------------------
rm -rf "$out/vite-react"
v="$scratch/vite-react"
cp -r "$sites/vite-react" "$v"
ln -s "$modules" "$v/node_modules"
picture "$v/public/img/north-quay.jpg" 320 200 '#b3e5fc' '#01579b' 'north quay'
picture "$v/public/img/breakwater.jpg" 320 200 '#cfd8dc' '#263238' 'breakwater'
picture "$v/public/img/inner-basin.jpg" 320 200 '#c5e1a5' '#33691e' 'inner basin'
"$convert" -size 32x32 xc:'#ffc107' -strip -define png:exclude-chunks=date,time "$v/public/img/buoy.png"
(cd "$v" && OUT_DIR="$out/vite-react" "$modules/.bin/vite" build)
# The router's second page as a static host serves it: the same document at its own address.
mkdir -p "$out/vite-react/tides"
cp "$out/vite-react/index.html" "$out/vite-react/tides/index.html"

# A site whose framework a lock file older than it did not install is left out, and said so.
missing() {
  [ -x "$modules/.bin/$1" ] && return 1
  echo "make_app_sites: no $1 in $modules (scripts/setup --bench installs it); $2 not built" >&2
}

# --- Astro with Preact islands --------------------------------------------------------------
rm -rf "$out/astro"
if ! missing astro astro; then
  # Astro names each island by a hash of, among others, its component's absolute path: the site
  # is built at one fixed path, by one build at a time, for the same bytes on every machine.
  a=/tmp/lorvex-app-sites-astro
  exec {lock}>"$a.lock"
  flock "$lock"
  held=$a
  rm -rf "$a"
  cp -r "$sites/astro" "$a"
  ln -s "$modules" "$a/node_modules"
  picture "$a/public/img/north-head.jpg" 320 200 '#ffe0b2' '#e65100' 'north head'
  picture "$a/public/img/gull-rock.jpg" 320 200 '#d1c4e9' '#311b92' 'gull rock'
  picture "$a/public/img/long-spit.jpg" 320 200 '#b2dfdb' '#004d40' 'long spit'
  picture "$a/public/img/keepers.jpg" 480 300 '#f5f5f5' '#5d4037' 'keepers'
  "$convert" -size 32x32 xc:none -fill '#ffca28' -draw 'circle 16,16 16,3' \
    -strip -define png:exclude-chunks=date,time "$a/public/img/lamp.png"
  (cd "$a" && ASTRO_TELEMETRY_DISABLED=1 OUT_DIR="$out/astro" "$modules/.bin/astro" build --silent)
  # Empty modules of the content layer that Astro leaves beside the pages; no page names them.
  rm -f "$out/astro/content-assets.mjs" "$out/astro/content-modules.mjs"
  rm -rf "$a"
  held=""
  flock -u "$lock"
fi

# --- VitePress, default theme -------------------------------------------------------------------
rm -rf "$out/vitepress"
if ! missing vitepress vitepress; then
  p="$scratch/vitepress"
  cp -r "$sites/vitepress" "$p"
  ln -s "$modules" "$p/node_modules"
  picture "$p/public/img/north-quay.jpg" 320 200 '#b3e5fc' '#01579b' 'north quay'
  picture "$p/public/img/breakwater.jpg" 320 200 '#cfd8dc' '#263238' 'breakwater'
  "$convert" -size 200x200 xc:none -fill '#0277bd' -draw 'circle 100,100 100,8' \
    -fill '#b3e5fc' -draw 'rectangle 96,20 104,100' \
    -strip -define png:exclude-chunks=date,time "$p/public/img/tide-wheel.png"
  "$convert" -size 32x32 xc:'#ffc107' -strip -define png:exclude-chunks=date,time "$p/public/img/buoy.png"
  # Its highlighting of JavaScript came out with other colours from one build to the next: the
  # pages hold plain-text code blocks only.
  (cd "$p" && OUT_DIR="$out/vitepress" "$modules/.bin/vitepress" build . >/dev/null)
fi
echo "make_app_sites: sites in $out" >&2
