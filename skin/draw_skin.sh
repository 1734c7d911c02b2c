#!/bin/sh
# Draws the skin pictures of the updater's windows with ImageMagick.
# Run from anywhere; writes the pictures beside this script. The pictures are
# committed, so the build does not need ImageMagick.
set -eu
cd "$(dirname "$0")"
IM=${CONVERT:-convert}
FONT=${SKIN_FONT:-/usr/share/fonts/truetype/wqy/wqy-microhei.ttc}
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# Window background, 330 x 228: one-pixel grey frame, sky-blue title band over
# rows 1 to 54 (a faint top-down shade), white below.
"$IM" -size 328x54 gradient:'rgb(62,204,250)-rgb(40,190,244)' \
      -size 328x172 xc:white -append \
      -bordercolor 'rgb(128,130,127)' -border 1 \
      -strip -sampling-factor 1x1 -quality 95 bg.jpg

# Close button strip, 120 x 40: four 30 x 40 frames (normal, over, pressed, disabled).
cross() { # colour stroke-width out
  "$IM" -size 30x40 xc:none -fill none -stroke "$1" -strokewidth "$2" \
        -draw "line 10.5,13.5 19.5,22.5" -draw "line 19.5,13.5 10.5,22.5" PNG32:"$3"
}
cross 'rgb(58,86,118)' 2 "$TMP/c0.png"
# Over: an orange cross on a soft orange glow.
cross 'rgb(255,160,60)' 6 "$TMP/glow.png"
cross 'rgb(255,128,0)' 2 "$TMP/c1.png"
"$IM" "$TMP/glow.png" -blur 0x3 -channel A -evaluate multiply 0.6 +channel \
      "$TMP/c1.png" -composite PNG32:"$TMP/c1.png"
cross 'rgb(226,100,0)' 2 "$TMP/c2.png"
"$IM" -size 30x40 xc:none "$TMP/c3.png"
"$IM" "$TMP/c0.png" "$TMP/c1.png" "$TMP/c2.png" "$TMP/c3.png" +append -strip PNG32:btn_close.png

# Caption button strip, 320 x 28: four 80 x 28 frames of a light grey rounded
# button (normal, lighter when hovered, darker when pressed, half opacity disabled).
button() { # top bottom outline out
  "$IM" -size 80x28 gradient:"$1-$2" \
        \( -size 80x28 xc:none -fill white -draw "roundrectangle 0,0 79,27 4,4" \) \
        -alpha set -compose DstIn -composite -compose Over \
        -fill none -stroke "$3" -strokewidth 1 -draw "roundrectangle 0.5,0.5 79.5,27.5 4,4" \
        -fill none -stroke 'rgba(255,255,255,0.7)' -draw "line 4,1.5 75,1.5" \
        PNG32:"$4"
}
button 'rgb(246,246,246)' 'rgb(218,218,218)' 'rgb(150,150,150)' "$TMP/b0.png"
button 'rgb(255,255,255)' 'rgb(232,232,232)' 'rgb(140,140,140)' "$TMP/b1.png"
button 'rgb(204,204,204)' 'rgb(222,222,222)' 'rgb(120,120,120)' "$TMP/b2.png"
"$IM" "$TMP/b0.png" -channel A -evaluate multiply 0.5 +channel "$TMP/b3.png"
"$IM" "$TMP/b0.png" "$TMP/b1.png" "$TMP/b2.png" "$TMP/b3.png" +append -strip PNG32:btn_caption.png

# Notice badges, 55 high: a band fading in from the left into a round badge;
# the white symbol is drawn over it afterwards.
badge() { # width light dark out
  cx=$(($1 - 28)); r=24
  "$IM" -size "$1x55" xc:none \
        \( -size "18x$cx" gradient:"none-$2" -rotate -90 \) -geometry +0+19 -composite \
        -fill "$3" -stroke white -strokewidth 2 -draw "circle $cx,27.5 $((cx + r - 1)),27.5" \
        -fill none -stroke 'rgba(255,255,255,0.4)' -strokewidth 1.5 \
        -draw "arc $((cx - r + 6)),9 $((cx + r - 6)),40 200,340" PNG32:"$4"
}
badge 110 'rgb(255,196,120)' 'rgb(247,140,20)' "$TMP/info.png"
"$IM" "$TMP/info.png" -fill white -stroke none \
      -draw "roundrectangle 79,14 85,32 3,3" -draw "circle 82,39 82,42.5" -strip PNG32:badge_info.png
badge 110 'rgb(140,218,130)' 'rgb(56,170,60)' "$TMP/yes.png"
"$IM" "$TMP/yes.png" -fill none -stroke white -strokewidth 5 -draw "polyline 70,28 79,37 95,19" \
      -strip PNG32:badge_yes.png
badge 104 'rgb(246,140,130)' 'rgb(214,52,44)' "$TMP/error.png"
"$IM" "$TMP/error.png" -fill none -stroke white -strokewidth 5 \
      -draw "line 67,19 85,37" -draw "line 85,19 67,37" -strip PNG32:badge_error.png

# Title picture, 107 x 27: a round play mark and the product name in white.
"$IM" -size 107x27 xc:none \
      -fill none -stroke white -strokewidth 2 -draw "circle 11.5,13.5 11.5,3.5" \
      -fill white -stroke none -draw "polygon 8.5,8.5 8.5,18.5 17,13.5" \
      -font "$FONT" -pointsize 19 -fill 'rgba(0,70,110,0.35)' -annotate +28+21 '泽润影音' \
      -fill white -annotate +27+20 '泽润影音' -strip PNG32:title.png
