#!/bin/sh
# Draws the installer's icon (a rounded blue tile with the product's initial).
# No time goes into the icon: the defines keep ImageMagick from writing date
# chunks into any PNG it makes (its sizes are bitmaps today).
set -e
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
convert -size 256x256 xc:none \
  -fill '#2B7DE9' -draw 'roundrectangle 8,8 247,247 48,48' \
  -fill '#FFFFFF' -font "$font" -pointsize 170 -gravity center -annotate +0+0 'T' \
  -define png:exclude-chunks=date,time +set date:create +set date:modify \
  -define icon:auto-resize=48,32,16 "$1"
