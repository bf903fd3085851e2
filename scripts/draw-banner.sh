#!/usr/bin/env bash
# Draws assets/banner.png, the picture at the top of the updater window: a chip
# with a down arrow and the program's name on the window's dark grey (42,42,42).
# 400 x 60, 8-bit RGB, no transparency, so that it loads as a 24-bit bitmap.
#
#   scripts/draw-banner.sh [output]      (default: assets/banner.png)
# Needs ImageMagick's convert and the DejaVu fonts (fonts-dejavu-core).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/assets/banner.png}
fonts=/usr/share/fonts/truetype/dejavu
bold=$fonts/DejaVuSans-Bold.ttf
book=$fonts/DejaVuSans.ttf
for f in "$bold" "$book"; do
  [ -f "$f" ] || { echo "draw-banner: $f missing (apt-get install fonts-dejavu-core)" >&2; exit 1; }
done

background='rgb(42,42,42)'
chip='rgb(24,24,26)'
edge='rgb(120,124,130)'
pin='rgb(176,180,186)'
accent='rgb(64,190,255)'
title='rgb(236,238,240)'
subtitle='rgb(150,156,164)'

# Pins: five on each side of a 36 x 36 body at (16,12)-(52,48).
pins=()
for i in 0 1 2 3 4; do
  y=$((16 + i * 7))
  x=$((16 + i * 7))
  pins+=(-draw "rectangle 10,$y 15,$((y + 2))" -draw "rectangle 53,$y 58,$((y + 2))")
  pins+=(-draw "rectangle $x,6 $((x + 2)),11" -draw "rectangle $x,49 $((x + 2)),54")
done

convert -size 400x60 "xc:$background" \
  -fill "$pin" -stroke none "${pins[@]}" \
  -fill "$chip" -stroke "$edge" -strokewidth 1.5 -draw "roundrectangle 16,12 52,48 4,4" \
  -fill "$accent" -stroke none \
  -draw "rectangle 31,18 37,31" \
  -draw "polygon 25,30 43,30 34,40" \
  -draw "rectangle 25,42 43,44" \
  -fill "$title" -font "$bold" -pointsize 24 -annotate +72+29 'fwupdater' \
  -fill "$subtitle" -font "$book" -pointsize 13 -annotate +73+48 'Update firmware' \
  -strip -depth 8 -type TrueColor \
  -define png:color-type=2 -define png:bit-depth=8 -define png:exclude-chunks=all \
  "PNG24:$out"
