#!/usr/bin/env bash
# Renders the guide's pictures with the native tool from its built-in sample and composes them with
# ImageMagick (`scripts/setup.sh pictures` installs it):
#   docs/before-after.png  the sample as drawn beside its lens blur
#   docs/apertures.png     a contact sheet of the apertures: disc, streak, triangle to octagon, rings and
#                          brighter centres, soft edges, and the three methods, each labelled with the
#                          options that made it
#   docs/dialog-annotated.png  the dialog's screenshot with English callouts (scripts/annotate_dialog.sh)
# The sheet shows the lower left of the street, where small lights stand apart and each one blooms into
# a whole aperture. Builds the tool first (as scripts/sample.sh does).
# Environment: APERLUME_BUILD_DIR (default build), APERLUME_JOBS (default 2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${APERLUME_BUILD_DIR:-$root/build}/native
docs=$root/docs
# Debian's ImageMagick 6, by path: the sheet is laid out for its montage.
convert=/usr/bin/convert
montage=/usr/bin/montage
font=DejaVu-Sans

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
APERLUME_OUT=$work/sample "$root/scripts/sample.sh" >/dev/null
tool=$build/tools/aperlume/aperlume

# before/after: the whole sample, blurred as scripts/sample.sh blurs it.
"$tool" --amount 8 --vertices 6 --rotation 15 --brightness 30 --sample "$work/after.png" \
  --write-sample "$work/before.png"
"$montage" -font "$font" -pointsize 15 -background '#202020' -fill '#e0e0e0' \
  -label 'before: the built-in sample' "$work/before.png" \
  -label 'after: --amount 8 --vertices 6 --rotation 15 --brightness 30' "$work/after.png" \
  -tile 2x1 -geometry '+6+6' "$docs/before-after.png"

# One tile: label, then options (common ones first, so a tile's own options win).
common=(--amount 12 --brightness 40)
crop=240x130+20+270
tiles=()
tile() {
  local label=$1; shift
  local n=${#tiles[@]}
  "$tool" "${common[@]}" "$@" --sample "$work/full-$n.png"
  "$convert" "$work/full-$n.png" -crop "$crop" +repage -resize 150% "$work/tile-$n.png"
  tiles+=(-label "$label" "$work/tile-$n.png")
}

tile 'disc  --vertices 1' --vertices 1
tile 'streak  --vertices 2 --rotation 30' --vertices 2 --rotation 30
tile 'triangle  --vertices 3' --vertices 3
tile 'square  --vertices 4 --rotation 45' --vertices 4 --rotation 45
tile 'pentagon  --vertices 5' --vertices 5
tile 'hexagon  --vertices 6' --vertices 6
tile 'heptagon  --vertices 7' --vertices 7
tile 'octagon  --vertices 8' --vertices 8
tile 'ring  --edge 70 --ratio 100' --vertices 1 --edge 70 --ratio 100
tile 'darker centre  --edge 50 --ratio 50' --vertices 1 --edge 50 --ratio 50
tile 'bright centre  --edge 50 --ratio -60' --vertices 1 --edge 50 --ratio -60
tile 'soft hexagon  --vertices 6 --soft' --vertices 6 --soft
tile 'method normal (direct)' --vertices 6 --rotation 15 --method normal
tile 'method mc (Monte Carlo)' --vertices 6 --rotation 15 --method mc
tile 'method fft' --vertices 6 --rotation 15 --method fft
"$convert" "$work/before.png" -crop "$crop" +repage -resize 150% "$work/unblurred.png"
tiles+=(-label 'the sample, unblurred' "$work/unblurred.png")

"$montage" -font "$font" -pointsize 14 -background '#202020' -fill '#e0e0e0' "${tiles[@]}" \
  -tile 4x -geometry '+5+5' -title "Apertures (all with ${common[*]})" "$work/sheet.png"
# A palette keeps the files small (the blurred lights survive 256 colours well), and without time stamps
# a re-run changes them only when a render changes.
"$convert" "$work/sheet.png" +dither -colors 256 -strip -define png:exclude-chunks=date,time -define png:compression-level=9 "$docs/apertures.png"
"$convert" "$docs/before-after.png" +dither -colors 256 -strip -define png:exclude-chunks=date,time -define png:compression-level=9 "$docs/before-after.png"
echo "wrote $docs/before-after.png ($(du -k "$docs/before-after.png" | cut -f1) KB)"
echo "wrote $docs/apertures.png ($(du -k "$docs/apertures.png" | cut -f1) KB)"
"$root/scripts/annotate_dialog.sh"
