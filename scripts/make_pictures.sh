#!/usr/bin/env bash
# Renders the guide's pictures with the native tool from its built-in sample and composes them with
# ImageMagick (`scripts/setup.sh pictures` installs it):
#   docs/before-after.png  the sample as drawn beside its lens blur
#   docs/apertures.png     a contact sheet of the apertures: disc, streak, triangle to octagon, rings and
#                          brighter centres, soft edges, and the three methods, each labelled with the
#                          options that made it
#   docs/method-fft-border.png  normal against fft where lights touch the frame, with their difference
#   docs/method-mc.png          normal against mc at a large amount and a strong highlight boost
#   docs/dialog-annotated.png  the dialog's screenshot with English callouts (scripts/annotate_dialog.sh)
# The sheet shows the lower left of the street, where small lights stand apart and each one blooms into
# a whole aperture. The two method pictures are labelled with what the script measures on them (the
# README quotes those numbers), and the numbers are printed. Builds the tool first (as scripts/sample.sh
# does).
# Environment: APERLUME_BUILD_DIR (default build), APERLUME_JOBS (default 2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${APERLUME_BUILD_DIR:-$root/build}/native
docs=$root/docs
# Debian's ImageMagick 6, by path: the sheet is laid out for its montage.
convert=/usr/bin/convert
montage=/usr/bin/montage
compare=/usr/bin/compare
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
# A sheet with a line of text under it: input, text, output.
captioned() {
  "$convert" "$1" \( -background '#202020' -fill '#e0e0e0' -font "$font" -pointsize 15 label:"$2" \) \
    -gravity center -background '#202020' -append "$3"
}
# The largest difference of two images in 8-bit levels, and the mean level of one (all channels).
# compare exits 1 when the images differ, which is no failure here.
largest_difference() {
  { "$compare" -metric PAE "$1" "$2" null: 2>&1 || true; } | sed 's/.*(\(.*\))/\1/' | awk '{printf "%d", $1 * 255 + 0.5}'
}
mean_level() { "$convert" "$1" -format '%[fx:mean*255]' info: | awk '{printf "%.1f", $1}'; }

# fft against normal: equal inside, apart within the aperture's radius of the border, where fft counts the
# edge pixels as repeated outwards and normal averages only what lies inside. The scene is a crop of the
# sample whose frame cuts through lit windows, as a photograph's frame cuts through lights.
fft_settings=(--amount 20 --vertices 6 --brightness 40)
"$convert" "$work/before.png" -crop 320x200+206+120 +repage "$work/edge.png"
"$tool" "${fft_settings[@]}" --method normal "$work/edge.png" "$work/edge-normal.png"
"$tool" "${fft_settings[@]}" --method fft "$work/edge.png" "$work/edge-fft.png"
fft_border=$(largest_difference "$work/edge-normal.png" "$work/edge-fft.png")
for method in normal fft; do "$convert" "$work/edge-$method.png" -shave 20x20 "$work/inner-$method.png"; done
fft_inner=$(largest_difference "$work/inner-normal.png" "$work/inner-fft.png")
"$convert" "$work/edge-normal.png" "$work/edge-fft.png" -compose difference -composite -evaluate multiply 4 \
  "$work/edge-difference.png"
for tile in normal fft difference; do "$convert" "$work/edge-$tile.png" -resize 150% "$work/edge-$tile-large.png"; done
"$montage" -font "$font" -pointsize 15 -background '#202020' -fill '#e0e0e0' \
  -label 'normal' "$work/edge-normal-large.png" -label 'fft' "$work/edge-fft-large.png" \
  -label "difference x4: up to $fft_border/255 at the border, $fft_inner beyond 20 px" \
  "$work/edge-difference-large.png" -tile 3x1 -geometry '+5+5' "$work/fft-sheet.png"
captioned "$work/fft-sheet.png" "A crop of the sample whose frame cuts through lit windows, both with ${fft_settings[*]}" \
  "$docs/method-fft-border.png"

# mc against normal: each pixel stops after a few dozen random samples, so lights become specks that most
# pixels miss, and with a large aperture and a strong boost the picture comes out darker.
mc_settings=(--amount 60 --vertices 6 --brightness 60)
"$tool" "${mc_settings[@]}" --method normal --sample "$work/large-normal.png"
"$tool" "${mc_settings[@]}" --method mc --sample "$work/large-mc.png"
mc_normal_mean=$(mean_level "$work/large-normal.png")
mc_mean=$(mean_level "$work/large-mc.png")
for method in normal mc; do
  "$convert" "$work/large-$method.png" -crop 480x300+0+0 +repage "$work/large-$method-crop.png"
done
"$montage" -font "$font" -pointsize 15 -background '#202020' -fill '#e0e0e0' \
  -label "normal: mean level $mc_normal_mean" "$work/large-normal-crop.png" \
  -label "mc: mean level $mc_mean" "$work/large-mc-crop.png" -tile 2x1 -geometry '+5+5' "$work/mc-sheet.png"
captioned "$work/mc-sheet.png" "The sample, both with ${mc_settings[*]} (the upper left at full size; the means are the whole picture's)" \
  "$docs/method-mc.png"

# A palette keeps the files small (the blurred lights survive 256 colours well), and without time stamps
# a re-run changes them only when a render changes.
"$convert" "$work/sheet.png" +dither -colors 256 -strip -define png:exclude-chunks=date,time -define png:compression-level=9 "$docs/apertures.png"
"$convert" "$docs/before-after.png" +dither -colors 256 -strip -define png:exclude-chunks=date,time -define png:compression-level=9 "$docs/before-after.png"
for picture in method-fft-border method-mc; do
  "$convert" "$docs/$picture.png" +dither -colors 256 -strip -define png:exclude-chunks=date,time -define png:compression-level=9 "$docs/$picture.png"
done
for picture in before-after apertures method-fft-border method-mc; do
  echo "wrote $docs/$picture.png ($(du -k "$docs/$picture.png" | cut -f1) KB)"
done
echo "fft against normal (${fft_settings[*]}): up to $fft_border/255 within 20 px of the border, $fft_inner beyond"
echo "mc against normal (${mc_settings[*]}, the sample): mean level $mc_mean against $mc_normal_mean"
"$root/scripts/annotate_dialog.sh"
