#!/bin/sh
# Draws the updater's application icon: a blue rounded tile with a white
# play triangle and a green "update" badge, at 256, 48, 32 and 16 pixels.
# Usage: skin/draw_icon.sh [output.ico]   (default: skin/ZeRunUpdate.ico)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/ZeRunUpdate.ico}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

convert -size 256x256 xc:none \
  \( -size 256x256 gradient:'#3aa0ff-#0a4fb4' \) \
  \( -size 256x256 xc:none -fill white -draw 'roundrectangle 8,8 247,247 44,44' \) \
  -delete 0 -compose CopyOpacity -composite \
  -fill white -draw 'polygon 88,60 88,196 200,128' \
  -fill '#1fae4b' -stroke white -strokewidth 10 -draw 'circle 190,190 190,138' \
  -stroke none -fill white \
  -draw 'polygon 190,152 220,188 202,188 202,222 178,222 178,188 160,188' \
  "$tmp/icon-256.png"

for size in 48 32 16; do
  convert "$tmp/icon-256.png" -filter Lanczos -resize ${size}x${size} \
    "$tmp/icon-$size.png"
done

# No time stamps, so that redrawing gives the same file.
convert "$tmp/icon-256.png" "$tmp/icon-48.png" "$tmp/icon-32.png" \
  "$tmp/icon-16.png" -depth 8 -define png:exclude-chunks=date,time +set date:create \
  +set date:modify "$out"
