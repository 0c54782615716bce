#!/usr/bin/env bash
# Draws the main window's header picture (349 x 197, 8-bit BMP) with ImageMagick.
# The result is committed beside this script; run it again only to change the picture.
set -euo pipefail
out="${1:-$(dirname "$0")/header.bmp}"
convert -size 349x197 gradient:'#2f4a5e'-'#a9b8c4' \
  \( -size 349x197 xc:none -fill 'rgba(255,255,255,0.10)' -draw "rectangle 0,150 349,197" \) -composite \
  -fill none -stroke 'rgba(255,255,255,0.55)' -strokewidth 2 -draw "roundrectangle 252,30 332,96 6,6" \
  -strokewidth 1 -draw "line 260,96 260,106 line 270,96 270,106 line 280,96 280,106 line 290,96 290,106 line 300,96 300,106 line 310,96 310,106 line 320,96 320,106" \
  -fill 'rgba(255,255,255,0.35)' -stroke none -draw "rectangle 262,42 292,68" -draw "rectangle 300,42 322,56" \
  -font DejaVu-Sans-Bold -pointsize 23 -fill white -annotate +16+62 'Veridomatic PCI' \
  -font DejaVu-Sans -pointsize 17 -fill '#e8eef2' -annotate +18+90 'Flashupdate' \
  -font DejaVu-Sans -pointsize 12 -fill '#1d2d3a' -annotate +18+180 'Datensatz Revision 1.2  <->  1.3' \
  -type Palette -colors 256 "BMP3:$out"
