#!/usr/bin/env bash
# Builds the test sites that come from frameworks installed with npm (scripts/setup --bench puts
# them into bench/complete/frameworks/) into OUT, one folder each:
#   OUT/vite-react/index.html    Vite with React: an app whose body is only its root element,
#                                a client router (tides/ is its second page), data it fetches,
#                                a web component with an open shadow root, CSS-in-JS
#                                (styled-components, whose rules live only in the CSS object
#                                model) and a chunk that the script loads later
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
trap 'rm -rf "$scratch"' EXIT

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
echo "make_app_sites: sites in $out" >&2
