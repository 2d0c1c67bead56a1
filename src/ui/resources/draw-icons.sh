#!/usr/bin/env bash
# Draws the program's pictures (toolbar, tree, login, splash) with ImageMagick into icons/.
# The PNGs are kept in the repository; run this again only to change them.
set -euo pipefail
cd "$(dirname "$0")/icons"
c() { convert -size "$1" xc:none "${@:2}"; }

# Toolbar, 24 x 24
c 24x24 -fill '#F2C14E' -stroke '#8A6A12' -strokewidth 1 -draw 'circle 8,12 8,6' \
  -draw 'rectangle 13,11 22,13' -draw 'rectangle 18,13 19,17' -draw 'rectangle 21,13 22,16' \
  -fill '#8A6A12' -draw 'circle 8,12 8,10' login.png
c 24x24 -fill white -stroke '#4A5A70' -strokewidth 1 -draw 'polygon 5,2 15,2 20,7 20,22 5,22' \
  -fill '#D8E2EE' -draw 'polygon 15,2 15,7 20,7' -stroke '#2E9E44' -strokewidth 2 \
  -draw 'line 12,12 12,20' -draw 'line 8,16 16,16' new.png
c 24x24 -fill '#3C6FB0' -stroke '#1F3F6A' -strokewidth 1 -draw 'roundrectangle 3,3 21,21 2,2' \
  -fill white -stroke none -draw 'rectangle 7,4 17,10' -fill '#1F3F6A' -draw 'rectangle 8,14 16,20' \
  -fill '#3C6FB0' -draw 'rectangle 14,5 16,9' save.png
c 24x24 -fill '#D8E2EE' -stroke '#4A5A70' -strokewidth 1 -draw 'rectangle 2,9 21,18' \
  -fill white -draw 'rectangle 6,3 17,9' -draw 'rectangle 6,14 17,22' -stroke '#8C96A3' \
  -draw 'line 8,17 15,17' -draw 'line 8,19 15,19' -fill '#35A853' -stroke none \
  -draw 'rectangle 17,11 19,12' print.png
c 24x24 -fill '#35A853' -stroke '#1C6B31' -strokewidth 1 -draw 'polygon 6,3 21,12 6,21' run.png
c 24x24 -fill '#D9473B' -stroke '#8C241C' -strokewidth 1 -draw 'roundrectangle 5,5 19,19 2,2' stop.png
c 24x24 -fill white -stroke '#4A5A70' -strokewidth 1 -draw 'rectangle 2,4 21,20' \
  -fill '#9CE3FE' -draw 'rectangle 2,4 21,8' -stroke '#4A5A70' -draw 'line 9,4 9,20' \
  -draw 'line 15,4 15,20' -draw 'line 2,12 21,12' -draw 'line 2,16 21,16' \
  -fill '#E87400' -stroke '#8A4500' -draw 'polygon 14,22 22,14 23,15 15,23' format.png
c 24x24 -fill '#8C96A3' -stroke '#4A5360' -strokewidth 1 \
  -draw 'rectangle 10,1 14,23' -draw 'rectangle 1,10 23,14' \
  -draw 'polygon 3,6 6,3 21,18 18,21' -draw 'polygon 18,3 21,6 6,21 3,18' \
  -draw 'circle 12,12 12,5' -fill white -draw 'circle 12,12 12,9' settings.png
c 24x24 -fill '#3C8DDC' -stroke '#1F5C99' -strokewidth 1 -draw 'circle 12,12 12,2' \
  -fill white -stroke none -draw 'rectangle 11,10 13,18' -draw 'circle 12,7 12,5.6' about.png

# Report tree, 16 x 16: folder, report, selected report
c 16x16 -fill '#F2C14E' -stroke '#9A7415' -strokewidth 1 -draw 'polygon 1,3 6,3 7,5 15,5 15,14 1,14' folder.png
c 16x16 -fill white -stroke '#4A5A70' -strokewidth 1 -draw 'polygon 3,1 10,1 13,4 13,15 3,15' \
  -stroke '#3C6FB0' -draw 'line 5,6 11,6' -draw 'line 5,9 11,9' -draw 'line 5,12 9,12' report.png
c 16x16 -fill '#FFF6C8' -stroke '#4A5A70' -strokewidth 1 -draw 'polygon 3,1 10,1 13,4 13,15 3,15' \
  -stroke '#E87400' -draw 'line 5,6 11,6' -draw 'line 5,9 11,9' -draw 'line 5,12 9,12' report-selected.png

# Login window picture, 24 x 24
c 24x24 -fill '#3C6FB0' -stroke '#1F3F6A' -strokewidth 1 -draw 'ellipse 12,5 9,3 0,360' \
  -draw 'rectangle 3,5 21,19' -draw 'ellipse 12,19 9,3 0,180' -fill '#5C8FD0' \
  -draw 'ellipse 12,5 9,3 0,360' -stroke '#9CE3FE' -draw 'ellipse 12,11 9,3 0,180' database.png

# Splash picture, 380 x 180
convert -size 380x180 gradient:'#0080C0'-'#003651' \
  -fill '#FFFFFF22' -stroke none -draw 'circle 330,40 330,140' \
  -fill white -stroke '#FFFFFF' -strokewidth 1 \
  -draw 'rectangle 30,110 46,150' -draw 'rectangle 54,90 70,150' -draw 'rectangle 78,70 94,150' \
  -draw 'rectangle 102,100 118,150' -fill none -stroke white -strokewidth 2 -draw 'line 24,151 126,151' \
  -font /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf -pointsize 22 -fill white -stroke none -annotate +146+92 'Orvel-Zestawnik' \
  -font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -pointsize 13 -fill '#9CE3FE' -annotate +148+116 'raporty SQL Server' splash.png
