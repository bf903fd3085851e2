#!/bin/sh
# Takes a screenshot of the X display and reports what the updater window
# shows: how many pixels of its top 60 rows differ from the banner picture,
# and the colours found in the strips of its client area that no control
# covers.
#   screen-check.sh <display file> <screenshot> <banner.png> <client x> <client y> <result file>
set -u
display=$(cat "$1")
shot=$2 banner=$3 x=$4 y=$5 result=$6
tmp=$result.$$
: > "$tmp"
DISPLAY=$display import -window root "$tmp.png" 2>"$tmp.log" || { echo "screenshot failed" > "$tmp"; mv "$tmp" "$result"; exit 0; }

crop() { convert "$tmp.png" -crop "$1x$2+$((x + $3))+$((y + $4))" +repage "$5"; }

crop 400 60 0 0 "$tmp.banner.png"
echo "banner $(compare -metric AE "$tmp.banner.png" "$banner" null: 2>&1)" >> "$tmp"
# Strips of the client area around the controls: width height left top.
for strip in "400 10 0 60" "10 140 0 60" "10 140 390 60" "10 20 80 70" "10 20 290 70" \
             "400 20 0 90" "400 20 0 140" "140 30 0 160" "120 30 280 160" "400 10 0 190"; do
  set -- $strip
  crop "$1" "$2" "$3" "$4" "$tmp.strip.png"
  colours=$(convert "$tmp.strip.png" -unique-colors -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | tr '\n' ' ' | sed 's/ $//')
  echo "strip $1x$2+$3+$4 ${colours}" >> "$tmp"
done
rm -f "$tmp.banner.png" "$tmp.strip.png" "$tmp.log"
mv "$tmp.png" "$shot"
mv "$tmp" "$result"
