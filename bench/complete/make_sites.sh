#!/usr/bin/env bash
# Builds the test sites of the complete-page benchmark into OUT, one folder each:
#   OUT/sphinx/index.html        Sphinx with the Read the Docs theme (@import, woff2, svg)
#   OUT/doxygen/...Shape.html    Doxygen's page of a class (tree view, CSS images, diagram)
#   OUT/mkdocs/index.html        MkDocs with its default theme (Bootstrap, Font Awesome)
#   OUT/bootstrap/index.html     a page on Debian's Bootstrap 5 and Font Awesome
#   OUT/modern/modern.htm        srcset, picture, lazy attributes, poster, CDN, webp/avif/svg
#   OUT/hugo/index.html          Hugo on a theme of its own: fingerprinted assets with integrity
#   OUT/jekyll/index.html        Jekyll with its default theme, minima
#   OUT/material/index.html      MkDocs with the Material theme (local fonts, search worker)
#   OUT/attributes/attributes.html  attribute values holding <, > and character references
#   OUT/spa/index.html           a script-built page with <base href="/">, served as /spa/
#   OUT/cdn/                     what the second port serves: the modern page's CDN files
# and, by make_app_sites.sh, the sites built by frameworks from npm (OUT/vite-react/ ...).
# The pages come from the generators in Debian's packages (scripts/setup --bench installs
# them); pictures are drawn with ImageMagick. With the same packages every run writes the
# same bytes. CDN_PORT (default 18602) is the port that the modern page names for its CDN.
#
#   bench/complete/make_sites.sh OUT
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: bench/complete/make_sites.sh OUT" >&2; exit 2; }
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sites="$here/sites"
out=$(mkdir -p "$1" && cd "$1" && pwd)
cdn_port=${CDN_PORT:-18602}
# ImageMagick itself, past any wrapper of the same name earlier on the PATH.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=$(command -v convert)
rtd_fonts=/usr/share/sphinx_rtd_theme/static/fonts

export SOURCE_DATE_EPOCH=1700000000 TZ=UTC LC_ALL=C.UTF-8 PYTHONHASHSEED=0
scratch=$(mktemp -d /tmp/lorvex-complete-sites-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# picture OUT W H FROM TO LABEL: a gradient with a sun, a wave and a label, so that each
# picture (and each size of one) can be told apart on a screenshot. No dates or comments
# are stored, so the bytes are the same on every run.
picture() {
  local file=$1 w=$2 h=$3 from=$4 to=$5 label=$6
  local r=$((h / 5)) pt=$((h / 8 > 10 ? h / 8 : 10))
  mkdir -p "$(dirname "$file")"
  "$convert" -size "${w}x${h}" "gradient:$from-$to" \
    -fill '#ffd54f' -draw "circle $((w * 3 / 4)),$((h / 3)) $((w * 3 / 4 + r)),$((h / 3))" \
    -fill '#0d3b66' -draw "polygon 0,$((h * 3 / 4)) $((w / 4)),$((h * 2 / 3)) $((w / 2)),$((h * 4 / 5)) $((w * 3 / 4)),$((h * 2 / 3)) $w,$((h * 3 / 4)) $w,$h 0,$h" \
    -fill white -font DejaVu-Sans-Bold -pointsize "$pt" -annotate "+$((w / 20))+$((pt + h / 20))" "$label" \
    -strip -define png:exclude-chunks=date,time -quality 85 "$file"
}
# tile OUT SIZE COLOUR1 COLOUR2: a checked tile of four squares, for backgrounds.
tile() {
  local n=$2 h=$(($2 / 2))
  mkdir -p "$(dirname "$1")"
  "$convert" -size "${n}x${n}" "xc:$3" -fill "$4" \
    -draw "rectangle 0,0 $((h - 1)),$((h - 1))" -draw "rectangle $h,$h $((n - 1)),$((n - 1))" \
    -strip -define png:exclude-chunks=date,time "$1"
}

rm -rf "$out/sphinx" "$out/doxygen" "$out/mkdocs" "$out/bootstrap" "$out/modern" "$out/cdn" \
  "$out/hugo" "$out/jekyll" "$out/material" "$out/attributes" "$out/spa"

# --- Sphinx, Read the Docs theme ----------------------------------------------------------
cp -r "$sites/sphinx" "$scratch/sphinx"
picture "$scratch/sphinx/harbour.png" 420 240 '#90caf9' '#1565c0' 'water level'
picture "$scratch/sphinx/_static/tide-band.png" 40 24 '#ffffff' '#d7ecf7' ''
sphinx-build -q -b html -d "$scratch/sphinx-doctrees" "$scratch/sphinx" "$out/sphinx"
rm -f "$out/sphinx/.buildinfo"

# --- Doxygen --------------------------------------------------------------------------------
cp -r "$sites/doxygen" "$scratch/doxygen"
(cd "$scratch/doxygen" && { cat Doxyfile; echo "OUTPUT_DIRECTORY = $scratch/doxygen-out"; } | doxygen - >/dev/null)
mv "$scratch/doxygen-out/html" "$out/doxygen"

# --- MkDocs ---------------------------------------------------------------------------------
cp -r "$sites/mkdocs" "$scratch/mkdocs"
picture "$scratch/mkdocs/docs/img/board.jpg" 480 260 '#a5d6a7' '#2e7d32' 'controller board'
(cd "$scratch/mkdocs" && mkdocs build -q -d "$out/mkdocs")
# The sitemap's archive holds the time it was written; the pages do not need it.
rm -f "$out/mkdocs/sitemap.xml.gz"

# --- Bootstrap 5 and Font Awesome, as Debian packages them ---------------------------------
b="$out/bootstrap"
mkdir -p "$b/css" "$b/js" "$b/fonts" "$b/img"
cp "$sites/bootstrap/index.html" "$b/"
cp "$sites/bootstrap/site.css" "$b/css/"
cp "$sites/bootstrap/brand.svg" "$b/img/"
cp -L /usr/share/javascript/bootstrap5/css/bootstrap.min.css "$b/css/"
cp -L /usr/share/javascript/bootstrap5/js/bootstrap.bundle.min.js "$b/js/"
cp -L /usr/share/fonts-font-awesome/css/font-awesome.min.css "$b/css/"
for f in fontawesome-webfont.eot fontawesome-webfont.svg fontawesome-webfont.ttf fontawesome-webfont.woff fontawesome-webfont.woff2 FontAwesome.otf; do
  cp -L "/usr/share/fonts-font-awesome/fonts/$f" "$b/fonts/"
done
# The packaged style sheets end with a pointer to a source map that Debian does not ship
# beside the minified file; browsers fetch it only with their developer tools open.
sed -i '/sourceMappingURL=/d' "$b/css/bootstrap.min.css" "$b/js/bootstrap.bundle.min.js"
picture "$b/img/harbour-banner.jpg" 1280 320 '#ff8a65' '#4e342e' ''
picture "$b/img/sunrise.jpg" 540 230 '#ffcc80' '#ef6c00' 'sunrise'
picture "$b/img/lighthouse.jpg" 540 230 '#b3e5fc' '#01579b' 'lighthouse'
picture "$b/img/lessons.png" 540 230 '#c5e1a5' '#33691e' 'lessons'
"$convert" -size 32x32 xc:'#ffc107' -strip -define png:exclude-chunks=date,time "$b/img/favicon.png"

# --- the modern page and its CDN --------------------------------------------------------------
m="$out/modern"
mkdir -p "$m/css" "$m/js" "$m/img" "$m/fonts" "$out/cdn/lib" "$out/cdn/img" "$out/cdn/fonts"
sed "s/@CDN_PORT@/$cdn_port/g" "$sites/modern/modern.htm" >"$m/modern.htm"
cp "$sites/modern/css/modern.css" "$sites/modern/css/type.css" "$m/css/"
cp "$sites/modern/js/lazy.js" "$m/js/"
cp "$sites/modern/compass.svg" "$m/img/"
cp "$rtd_fonts/RobotoSlab-Bold.woff2" "$m/fonts/field-head.woff2"
cp "$rtd_fonts/Lato-Italic.woff2" "$m/fonts/field-sans.woff2"
cp -L "$rtd_fonts/Lato-Italic.ttf" "$m/fonts/field-sans.ttf"
picture "$m/img/hero.jpg" 1280 300 '#ce93d8' '#4a148c' ''
for w in 400 800 1600; do
  picture "$m/img/photo-$w.jpg" "$w" $((w * 9 / 14)) '#80deea' '#006064' "${w}w"
done
picture "$m/img/badge.png" 280 180 '#fff59d' '#f57f17' '1x'
picture "$m/img/badge@2x.png" 560 360 '#fff59d' '#f57f17' '2x'
picture "$m/img/badge@3x.png" 840 540 '#fff59d' '#f57f17' '3x'
picture "$scratch/scene.png" 560 360 '#b39ddb' '#311b92' 'scene'
"$convert" "$scratch/scene.png" -quality 60 "$m/img/scene.avif"
"$convert" "$scratch/scene.png" -quality 80 "$m/img/scene.webp"
"$convert" "$scratch/scene.png" -fill '#ffffff' -colorize 40 -strip -quality 85 "$m/img/scene.jpg"
picture "$m/img/lazy-tide.jpg" 560 360 '#a5d6a7' '#1b5e20' 'data-src'
picture "$m/img/lazy-reef-300.png" 300 193 '#f48fb1' '#880e4f' '300w'
picture "$m/img/lazy-reef-600.png" 600 386 '#f48fb1' '#880e4f' '600w'
picture "$scratch/pattern.png" 280 180 '#ffe082' '#ff6f00' 'data-bg'
"$convert" "$scratch/pattern.png" -quality 80 "$m/img/pattern.webp"
picture "$m/img/poster.jpg" 560 360 '#90a4ae' '#263238' 'poster'
picture "$m/img/a.png" 280 180 '#e6ee9c' '#827717' 'a.png?v=2'
picture "$scratch/gull.png" 560 360 '#80cbc4' '#004d40' 'webp'
"$convert" "$scratch/gull.png" -quality 80 "$m/img/gull.webp"
tile "$m/img/texture.png" 24 '#bcaaa4' '#efebe9'
tile "$m/img/texture@2x.png" 48 '#bcaaa4' '#efebe9'
tile "$m/img/paper.png" 8 '#f3efe6' '#eee8da'
cp "$sites/modern/cdn/lib/cdn.css" "$out/cdn/lib/"
picture "$out/cdn/img/cdn-harbour.jpg" 560 360 '#ffab91' '#bf360c' 'CDN'
"$convert" -size 48x48 xc:none -fill '#2e7d32' -draw 'circle 24,24 24,4' -strip -define png:exclude-chunks=date,time "$out/cdn/img/cdn-badge.png"
cp "$rtd_fonts/RobotoSlab-Regular.woff2" "$out/cdn/fonts/cdn-slab.woff2"

# --- Hugo, a theme of its own with fingerprinted assets -----------------------------------------
cp -r "$sites/hugo" "$scratch/hugo"
hs="$scratch/hugo/static"
mkdir -p "$hs/fonts"
cp "$rtd_fonts/RobotoSlab-Bold.woff2" "$hs/fonts/harbour-slab.woff2"
cp "$rtd_fonts/Lato-Regular.woff2" "$hs/fonts/harbour-sans.woff2"
cp -L "$rtd_fonts/Lato-Regular.ttf" "$hs/fonts/harbour-sans.ttf"
picture "$hs/img/quay.jpg" 640 260 '#b0bec5' '#37474f' 'quay'
picture "$hs/img/chart.png" 480 200 '#e1f5fe' '#0277bd' 'tide chart'
picture "$hs/img/waves.jpg" 1280 140 '#4fc3f7' '#01579b' ''
picture "$hs/img/logo.png" 64 64 '#ffd54f' '#ff6f00' ''
tile "$hs/img/paper.png" 8 '#f6f3ec' '#efe9dc'
"$convert" -size 32x32 xc:'#0d3b66' -strip -define png:exclude-chunks=date,time "$hs/img/favicon.png"
(cd "$scratch/hugo" && HUGO_CACHEDIR="$scratch/hugo-cache" hugo --quiet --noBuildLock -d "$out/hugo")

# --- Jekyll, minima ------------------------------------------------------------------------------
cp -r "$sites/jekyll" "$scratch/jekyll"
ja="$scratch/jekyll/assets/img"
picture "$ja/ferry.jpg" 600 260 '#ffe0b2' '#e65100' 'ferry'
picture "$ja/sound-map.png" 420 240 '#c8e6c9' '#1b5e20' 'sound map'
picture "$ja/winter.jpg" 480 220 '#eceff1' '#546e7a' 'winter'
(cd "$scratch/jekyll" && jekyll build -q --disable-disk-cache -s . -d "$out/jekyll")

# --- MkDocs, Material theme ------------------------------------------------------------------------
cp -r "$sites/material" "$scratch/material"
md="$scratch/material/docs"
mkdir -p "$md/fonts"
cp "$rtd_fonts/Lato-Regular.woff2" "$md/fonts/beacon-sans.woff2"
cp "$rtd_fonts/RobotoSlab-Bold.woff2" "$md/fonts/beacon-slab.woff2"
picture "$md/img/dusk.jpg" 560 240 '#ffab91' '#311b92' 'dusk'
picture "$md/img/lamp-room.png" 300 120 '#fff59d' '#f9a825' 'lamp room'
(cd "$scratch/material" && mkdocs build -q -d "$out/material")
rm -f "$out/material/sitemap.xml.gz"

# --- attribute values with <, > and character references ------------------------------------------
a="$out/attributes"
mkdir -p "$a/css" "$a/img"
cp "$sites/attributes/attributes.html" "$a/"
cp "$sites/attributes/css/attributes.css" "$a/css/"
picture "$a/img/narrow.png" 280 180 '#ef9a9a' '#b71c1c' 'narrow (wrong)'
picture "$a/img/wide.png" 280 180 '#a5d6a7' '#1b5e20' 'media >= 800px'
picture "$a/img/fallback.png" 280 180 '#ef9a9a' '#b71c1c' 'fallback (wrong)'
picture "$a/img/w480.png" 480 309 '#ffcc80' '#e65100' '480w'
picture "$a/img/w800.png" 800 514 '#80cbc4' '#004d40' '800w'
picture "$a/img/greater.png" 280 180 '#b39ddb' '#311b92' 'alt 5 > 3'
picture "$a/img/query.png" 280 180 '#90caf9' '#0d47a1' '?w=1&h=2'
picture "$a/img/pic.png" 280 180 '#f48fb1' '#880e4f' 'pic&#46;png'
picture "$a/img/my pic.png" 280 180 '#e6ee9c' '#827717' 'my pic'
picture "$a/img/港口.png" 280 180 '#80deea' '#006064' 'harbour'
tile "$a/img/tile bg.png" 20 '#bcaaa4' '#5d4037'

# --- a single-page app under /spa/ whose base is the site's root ------------------------------------
p="$out/spa"
mkdir -p "$p/css" "$p/js" "$p/img"
cp "$sites/spa/index.html" "$p/"
cp "$sites/spa/css/app.css" "$p/css/"
cp "$sites/spa/js/app.js" "$p/js/"
picture "$p/img/anchor.png" 48 48 '#ffd54f' '#ff6f00' ''
tile "$p/img/rope.png" 16 '#1a4d6e' '#d7ccc8'
picture "$p/img/north-quay.jpg" 320 200 '#b3e5fc' '#01579b' 'north quay'
picture "$p/img/breakwater.jpg" 320 200 '#cfd8dc' '#263238' 'breakwater'
picture "$p/img/inner-basin.jpg" 320 200 '#c5e1a5' '#33691e' 'inner basin'
"$here/make_app_sites.sh" "$out"
echo "make_sites: sites in $out" >&2
