#!/usr/bin/env bash
# Draws the guide's annotated dialog, docs/dialog-annotated.png: the real screenshot (docs/dialog.png,
# taken by the Windows dialog test with APERLUME_DIALOG_SCREENSHOT) enlarged twice, with an English
# callout for every control. Each callout finds its control through the dialog template
# (resources/main_dialog.rc) and the thumbnail's place in ui/preview_pane.h, so a moved control moves
# its arrow when the picture is drawn again. Needs ImageMagick and DejaVu Sans
# (`scripts/setup.sh pictures`); scripts/make_pictures.sh runs it too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shot=$root/docs/dialog.png
template=$root/resources/main_dialog.rc
out=${1:-$root/docs/dialog-annotated.png}
convert=/usr/bin/convert
font=DejaVu-Sans

# The screenshot's font gives dialog base units of 7 × 13 pixels (a dialog unit is a quarter of the
# average character's width and an eighth of its height); the window frame is what is left around the
# template's client area.
base_x=7 base_y=13
scale=2
margin_left=420 margin_right=420 margin_top=24 margin_bottom=24
pointsize=17 line_height=21 gap=12
ink='#b8360b' halo='#ffffff'

read -r shot_w shot_h < <(identify -format '%w %h\n' "$shot")
read -r dialog_w dialog_h < <(sed -nE 's/^102 DIALOG [0-9]+, [0-9]+, ([0-9]+), ([0-9]+).*/\1 \2/p' "$template")
muldiv() { echo $((($1 * $2 + $3 / 2) / $3)); }
frame=$(((shot_w - $(muldiv "$dialog_w" $base_x 4)) / 2))
origin_x=$frame
origin_y=$((shot_h - frame - $(muldiv "$dialog_h" $base_y 8)))
if ((frame < 0 || origin_y < frame)); then
  echo "annotate_dialog: a ${shot_w}x$shot_h screenshot cannot hold the ${dialog_w}x$dialog_h template" >&2
  exit 1
fi

# rect ID: the control's rectangle in the screenshot's pixels, into L T R B (in this shell, so that a
# control missing from the template stops the script).
rect() {
  local x y w h
  read -r x y w h < <(sed -nE "s/^ *CONTROL \"[^\"]*\", $1, \"[^\"]*\", 0x[0-9A-Fa-f]+, ([0-9]+), ([0-9]+), ([0-9]+), ([0-9]+).*/\1 \2 \3 \4/p" "$template") || true
  [[ -n ${h:-} ]] || { echo "annotate_dialog: no control $1 in $template" >&2; exit 1; }
  L=$((origin_x + $(muldiv "$x" $base_x 4))) T=$((origin_y + $(muldiv "$y" $base_y 8)))
  R=$((origin_x + $(muldiv $((x + w)) $base_x 4))) B=$((origin_y + $(muldiv $((y + h)) $base_y 8)))
}
constant() { sed -nE "s/.*constexpr std::int32_t $1 = ([0-9]+);.*/\1/p" "$root/$2"; }

# Screenshot pixels to picture pixels.
px() { echo $((margin_left + scale * $1)); }
py() { echo $((margin_top + scale * $1)); }
image_left=$margin_left
image_right=$((margin_left + scale * shot_w))
width=$((image_right + margin_right))
height=$((margin_top + scale * shot_h + margin_bottom))

# Callouts: side, the point they lead to (picture pixels), text ("\n" between lines). A callout may
# bring its own path from its label's line to the control ("via": more points, picture pixels).
left=() right=()
callout() {  # side x y text [via...]
  local side=$1; shift
  if [[ $side == L ]]; then left+=("$(printf '%s\t' "$@")"); else right+=("$(printf '%s\t' "$@")"); fi
}
at_left() {  # id text: just left of the control, halfway down (clear of a label's first character)
  rect "$1"; callout L "$(px $((L - 2)))" "$(py $(((T + B) / 2)))" "$2"
}
at_right() {  # id text: the control's right edge, halfway down
  rect "$1"; callout R "$(px "$R")" "$(py $(((T + B) / 2)))" "$2"
}
at_title() {  # id text: a group box's title, on its top edge
  rect "$1"; callout L "$(px "$L")" "$(py $((T + 6)))" "$2"
}

at_left 1007 'Live preview: drag it to look around;\nit redraws after every change'
at_left 1044 'Method: Normal (the usual choice),\nMC (grainy), FFT (for very large blurs)'
at_title 1009 'Amount and brightness of the blur'
at_left 1010 'Amount: the size of the blur'
at_left 1013 'Brightness: how much lights bloom'
at_title 1016 'Shape of the blur (the aperture)'
at_left 1019 'Corners: 1 a disc, 2 a streak,\n3 to 8 a polygon'
at_left 1022 'Edge: size of an inner shape'
at_left 1025 'Ratio: 100 a ring, below 0 a bright centre'
at_left 1028 'Rotation: turns the shape, in degrees'
at_left 1036 'Soft: smooth (anti-aliased) edges'
at_title 1047 'Depth (only with the Normal method)'
at_left 1038 'Use the selection as a depth map'
at_left 1033 'Focus: the depth that stays sharp'

at_right 1 'OK: apply the blur to the image'
at_right 2 'Cancel: close, the image unchanged'
# The thumbnail is drawn beside the pane, at a fixed offset from its corner.
rect 1007
thumb=$(constant kThumbSize ui/preview_session.h)
thumb_r=$((L + $(constant kThumbOffsetX ui/preview_pane.h) + thumb))
thumb_y=$((T + $(constant kThumbOffsetY ui/preview_pane.h) + thumb / 2))
callout R "$(px "$thumb_r")" "$(py "$thumb_y")" 'The aperture: the shape\nthat lights take'
at_right 1043 'Highlights: gamma (the usual)\nor logarithmic curve'

# The zoom controls share one callout: a line up the free column between them and the OK button,
# branching to each, and over the (empty) title bar to the label.
rect 1; ok_left=$L
rect 1002
column=$(((R + ok_left) / 2))
zoom_branches=()
for id in 1002 1008 1003; do
  rect $id
  y=$(py $(((T + B) / 2)))
  zoom_branches+=("$(px "$R"),$y $(px "$column"),$y")
  zoom_bottom=$y
done
callout R "$(px "$column")" "$(py $((frame + 8)))" 'Zoom: + in, - out, and the\npreview'"'"'s zoom level'

# The seven number boxes share one: a bracket right of them, ticks into each.
boxes=(1011 1014 1020 1023 1026 1029 1032)
rect 1009
bracket_x=$(((image_right + $(px "$R")) / 2))
box_ticks=() first_y='' last_y=''
for id in "${boxes[@]}"; do
  rect "$id"
  y=$(py $(((T + B) / 2)))
  box_ticks+=("$(px "$R"),$y $bracket_x,$y")
  first_y=${first_y:-$y}; last_y=$y
done
callout R "$bracket_x" "$(((first_y + last_y) / 2))" 'Number boxes: type an exact\nvalue; the slider follows'

# Labels stay beside their controls, pushed apart only where they would overlap.
place() {  # side, callouts...: prints "x y label_y text" per callout
  local side=$1; shift
  local previous_bottom=-1000 entry x y text lines block label_y
  while IFS=$'\t' read -r y x text; do
    lines=$(awk -F'\\\\n' '{print NF}' <<<"$text")
    block=$((lines * line_height))
    label_y=$((y - block / 2))
    ((label_y < previous_bottom + 8)) && label_y=$((previous_bottom + 8))
    previous_bottom=$((label_y + block))
    printf '%s\t%s\t%s\t%s\n' "$x" "$y" "$label_y" "$text"
  done < <(for entry in "$@"; do IFS=$'\t' read -r x y text <<<"$entry"; printf '%s\t%s\t%s\n' "$y" "$x" "$text"; done | sort -n)
}

draws=() texts=()
line() { draws+=(-stroke "$halo" -strokewidth 5 -draw "line $1 $2" -stroke "$ink" -strokewidth 2 -draw "line $1 $2"); }
dot() { draws+=(-stroke "$halo" -strokewidth 2 -fill "$ink" -draw "circle $1,$2 $(($1 + 4)),$2"); }

while IFS=$'\t' read -r x y label_y text; do
  anchor_y=$((label_y + line_height / 2))
  line "$((image_left - gap / 2)),$anchor_y" "$x,$y"
  line "$((image_left - gap - 4)),$anchor_y" "$((image_left - gap / 2)),$anchor_y"
  dot "$x" "$y"
  texts+=(-gravity NorthEast -annotate "+$((width - image_left + gap + 8))+$label_y" "$(printf '%b' "$text")")
done < <(place L "${left[@]}")

while IFS=$'\t' read -r x y label_y text; do
  anchor_y=$((label_y + line_height / 2))
  line "$((image_right + gap / 2)),$anchor_y" "$x,$y"
  line "$((image_right + gap / 2)),$anchor_y" "$((image_right + gap + 4)),$anchor_y"
  texts+=(-gravity NorthWest -annotate "+$((image_right + gap + 8))+$label_y" "$(printf '%b' "$text")")
done < <(place R "${right[@]}")
for ((i = 0; i < ${#right[@]}; ++i)); do
  IFS=$'\t' read -r x y _ <<<"${right[i]}"
  [[ $x == "$bracket_x" || $x == "$(px "$column")" ]] || dot "$x" "$y"
done

# The zoom column and the number boxes' bracket, with a dot on each control they reach.
line "$(px "$column"),$(py $((frame + 8)))" "$(px "$column"),$zoom_bottom"
for branch in "${zoom_branches[@]}"; do line $branch; dot ${branch%%,*} "$(cut -d' ' -f1 <<<"$branch" | cut -d, -f2)"; done
line "$bracket_x,$first_y" "$bracket_x,$last_y"
for tick in "${box_ticks[@]}"; do line $tick; dot ${tick%%,*} "$(cut -d' ' -f1 <<<"$tick" | cut -d, -f2)"; done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$convert" "$shot" -filter point -resize "$((scale * 100))%" "$work/big.png"
"$convert" -size "${width}x$height" xc:white \
  "$work/big.png" -geometry "+$image_left+$margin_top" -composite \
  -fill none "${draws[@]}" \
  -stroke none -fill "$ink" -font "$font" -pointsize $pointsize -interline-spacing 0 "${texts[@]}" \
  +dither -colors 64 -strip -define png:exclude-chunks=date,time -define png:compression-level=9 "$out"
echo "wrote $out ($(du -k "$out" | cut -f1) KB)"
