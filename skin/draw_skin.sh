#!/bin/sh
# Draws the skin pictures of the updater's windows with ImageMagick, each one
# three times: for 96 dpi (name.png), and at 1.5x and 2x for 144 and 192 dpi
# (name@1.5x.png, name@2x.png). The program loads the drawing nearest the
# dpi of its monitor. Run from anywhere; writes the pictures beside this
# script. The pictures are committed, so the build does not need ImageMagick.
set -eu
cd "$(dirname "$0")"
IM=${CONVERT:-convert}
FONT=${SKIN_FONT:-/usr/share/fonts/truetype/wqy/wqy-microhei.ttc}
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# A 96-dpi coordinate at the current scale S, and a length rounded to whole
# pixels.
p() { awk -v v="$1" -v s="$S" 'BEGIN { printf "%g", v * s }'; }
n() { awk -v v="$1" -v s="$S" 'BEGIN { printf "%d", int(v * s + 0.5) }'; }

draw() { # scale suffix
S=$1 X=$2

# Window background, 330 x 228: one-pixel grey frame, sky-blue title band over
# rows 1 to 54 (a faint top-down shade), white below.
"$IM" -size "$(n 328)x$(n 54)" gradient:'rgb(62,204,250)-rgb(40,190,244)' \
      -size "$(n 328)x$(n 172)" xc:white -append \
      -bordercolor 'rgb(128,130,127)' -border "$(awk -v s="$S" 'BEGIN { print int(s) }')" \
      -strip -sampling-factor 1x1 -quality 95 "bg$X.jpg"

# Close button strip, 120 x 40: four 30 x 40 frames (normal, over, pressed, disabled).
cross() { # colour stroke-width out
  "$IM" -size "$(n 30)x$(n 40)" xc:none -fill none -stroke "$1" -strokewidth "$(p "$2")" \
        -draw "line $(p 10.5),$(p 13.5) $(p 19.5),$(p 22.5)" \
        -draw "line $(p 19.5),$(p 13.5) $(p 10.5),$(p 22.5)" PNG32:"$3"
}
cross 'rgb(58,86,118)' 2 "$TMP/c0.png"
# Over: an orange cross on a soft orange glow.
cross 'rgb(255,160,60)' 6 "$TMP/glow.png"
cross 'rgb(255,128,0)' 2 "$TMP/c1.png"
"$IM" "$TMP/glow.png" -blur "0x$(p 3)" -channel A -evaluate multiply 0.6 +channel \
      "$TMP/c1.png" -composite PNG32:"$TMP/c1.png"
cross 'rgb(226,100,0)' 2 "$TMP/c2.png"
"$IM" -size "$(n 30)x$(n 40)" xc:none "$TMP/c3.png"
"$IM" "$TMP/c0.png" "$TMP/c1.png" "$TMP/c2.png" "$TMP/c3.png" +append -strip PNG32:"btn_close$X.png"

# Caption button strip, 320 x 28: four 80 x 28 frames of a light grey rounded
# button (normal, lighter when hovered, darker when pressed, half opacity disabled).
W=$(n 80) H=$(n 28)
button() { # top bottom outline out
  "$IM" -size "${W}x$H" gradient:"$1-$2" \
        \( -size "${W}x$H" xc:none -fill white -draw "roundrectangle 0,0 $((W - 1)),$((H - 1)) $(p 4),$(p 4)" \) \
        -alpha set -compose DstIn -composite -compose Over \
        -fill none -stroke "$3" -strokewidth "$(p 1)" \
        -draw "roundrectangle $(p 0.5),$(p 0.5) $(awk -v w="$W" -v h="$H" -v a="$(p 0.5)" 'BEGIN { printf "%g,%g", w - a, h - a }') $(p 4),$(p 4)" \
        -fill none -stroke 'rgba(255,255,255,0.7)' -draw "line $(p 4),$(p 1.5) $((W - $(n 5))),$(p 1.5)" \
        PNG32:"$4"
}
button 'rgb(246,246,246)' 'rgb(218,218,218)' 'rgb(150,150,150)' "$TMP/b0.png"
button 'rgb(255,255,255)' 'rgb(232,232,232)' 'rgb(140,140,140)' "$TMP/b1.png"
button 'rgb(204,204,204)' 'rgb(222,222,222)' 'rgb(120,120,120)' "$TMP/b2.png"
"$IM" "$TMP/b0.png" -channel A -evaluate multiply 0.5 +channel "$TMP/b3.png"
"$IM" "$TMP/b0.png" "$TMP/b1.png" "$TMP/b2.png" "$TMP/b3.png" +append -strip PNG32:"btn_caption$X.png"

# Notice badges, 55 high: a band fading in from the left into a round badge;
# the white symbol is drawn over it afterwards.
badge() { # width light dark out
  cx=$(($1 - 28)); r=24
  "$IM" -size "$(n "$1")x$(n 55)" xc:none \
        \( -size "$(n 18)x$(n $cx)" gradient:"none-$2" -rotate -90 \) -geometry "+0+$(n 19)" -composite \
        -fill "$3" -stroke white -strokewidth "$(p 2)" -draw "circle $(p $cx),$(p 27.5) $(p $((cx + r - 1))),$(p 27.5)" \
        -fill none -stroke 'rgba(255,255,255,0.4)' -strokewidth "$(p 1.5)" \
        -draw "arc $(p $((cx - r + 6))),$(p 9) $(p $((cx + r - 6))),$(p 40) 200,340" PNG32:"$4"
}
badge 110 'rgb(255,196,120)' 'rgb(247,140,20)' "$TMP/info.png"
"$IM" "$TMP/info.png" -fill white -stroke none \
      -draw "roundrectangle $(p 79),$(p 14) $(p 85),$(p 32) $(p 3),$(p 3)" \
      -draw "circle $(p 82),$(p 39) $(p 82),$(p 42.5)" -strip PNG32:"badge_info$X.png"
badge 110 'rgb(140,218,130)' 'rgb(56,170,60)' "$TMP/yes.png"
"$IM" "$TMP/yes.png" -fill none -stroke white -strokewidth "$(p 5)" \
      -draw "polyline $(p 70),$(p 28) $(p 79),$(p 37) $(p 95),$(p 19)" -strip PNG32:"badge_yes$X.png"
badge 104 'rgb(246,140,130)' 'rgb(214,52,44)' "$TMP/error.png"
"$IM" "$TMP/error.png" -fill none -stroke white -strokewidth "$(p 5)" \
      -draw "line $(p 67),$(p 19) $(p 85),$(p 37)" -draw "line $(p 85),$(p 19) $(p 67),$(p 37)" \
      -strip PNG32:"badge_error$X.png"

# Title picture, 107 x 27: a round play mark and the product name in white.
"$IM" -size "$(n 107)x$(n 27)" xc:none \
      -fill none -stroke white -strokewidth "$(p 2)" -draw "circle $(p 11.5),$(p 13.5) $(p 11.5),$(p 3.5)" \
      -fill white -stroke none -draw "polygon $(p 8.5),$(p 8.5) $(p 8.5),$(p 18.5) $(p 17),$(p 13.5)" \
      -font "$FONT" -pointsize "$(p 19)" -fill 'rgba(0,70,110,0.35)' -annotate "+$(n 28)+$(n 21)" '泽润影音' \
      -fill white -annotate "+$(n 27)+$(n 20)" '泽润影音' -strip PNG32:"title$X.png"
}

draw 1 ""
draw 1.5 "@1.5x"
draw 2 "@2x"
