#!/usr/bin/env bash
# Draws the About picture (400x245) with ImageMagick and writes
# assets/about.jpg: a dark blue band across the upper part with the program
# icon, its name and a tagline, and a white lower part with a short line of
# text and a row of icon tiles. The About box puts its white version label on
# the band's upper right (300,26) and its blue web label on the white part's
# lower left (22,218); both places are kept free of drawing.
# Needs ImageMagick and the DejaVu fonts (Debian: imagemagick,
# fonts-dejavu-core). Run by hand when the picture changes; the result is kept
# in the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
IM=/usr/bin/convert
fonts=/usr/share/fonts/truetype/dejavu
bold=$fonts/DejaVuSans-Bold.ttf
regular=$fonts/DejaVuSans.ttf
for f in "$bold" "$regular"; do
  [ -f "$f" ] || { echo "make-about.sh: $f is missing (install fonts-dejavu-core)" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The band: a vertical gradient from near-navy to a lighter blue, with a soft
# light behind the icon and a thin red rule along its lower edge.
$IM -size 400x104 gradient:'#0a1d42-#1b3f7c' \
  \( -size 400x104 radial-gradient:'rgba(120,160,230,0.45)-rgba(120,160,230,0)' \
     -crop 400x104+0+0 \) -geometry -140+0 -compose screen -composite \
  "$tmp/band.png"

# The icon, scaled to sit inside the band with a faint shadow for depth.
$IM assets/vexillo.png -resize 96x96 "$tmp/icon.png"
$IM "$tmp/icon.png" \( +clone -background black -shadow 60x3+2+3 \) +swap \
  -background none -layers merge +repage "$tmp/icon-shadow.png"

# Icon tiles for the lower right: rounded squares in pale tints, each with a
# small shape, suggesting a page of found icons.
tile() { # colour fill, shape colour, draw command, output
  $IM -size 30x30 xc:none -fill "$1" -stroke '#d5dbe6' -strokewidth 1 \
    -draw 'roundrectangle 0.5,0.5 29.5,29.5 6,6' -stroke none -fill "$2" -draw "$3" "$4"
}
tile '#fdecec' '#c62828' 'path "M 9,7 L 9,24 M 9,7 C 14,5 18,10 23,8 L 23,17 C 18,19 14,14 9,16 Z"' "$tmp/t1.png"
tile '#eaf1fb' '#1e4fa0' 'circle 15,15 15,7' "$tmp/t2.png"
tile '#fdf6e4' '#e8b23a' 'polygon 15,6 24,22 6,22' "$tmp/t3.png"
tile '#eaf6ee' '#2e7d4f' 'roundrectangle 8,8 22,22 3,3' "$tmp/t4.png"
$IM "$tmp/t1.png" -fill none -stroke '#5b3a1e' -strokewidth 2 -draw 'line 9,7 9,24' "$tmp/t1.png"

$IM -size 400x245 gradient:'#ffffff-#f1f4f9' \
  "$tmp/band.png" -geometry +0+22 -composite \
  -fill '#c62828' -draw 'rectangle 0,126 399,128' \
  "$tmp/icon-shadow.png" -geometry +22+24 -composite \
  -font "$bold" -pointsize 50 -fill '#06132c' -annotate +137+91 'Vexillo' \
  -fill white -annotate +135+89 'Vexillo' \
  -font "$regular" -pointsize 13 -fill '#c7d5ef' -annotate +138+112 'Icons from Windows program files' \
  -font "$regular" -pointsize 12 -fill '#3b4658' \
  -annotate +22+162 'Find, view and extract the icons' \
  -annotate +22+179 'inside programs and libraries.' \
  -fill '#d5dbe6' -draw 'rectangle 22,204 378,204' \
  "$tmp/t1.png" -geometry +242+155 -composite \
  "$tmp/t2.png" -geometry +276+155 -composite \
  "$tmp/t3.png" -geometry +310+155 -composite \
  "$tmp/t4.png" -geometry +344+155 -composite \
  -font "$regular" -pointsize 10 -fill '#8a93a3' -gravity southeast -annotate +22+13 'Free software for Linux' \
  -gravity northwest -strip -sampling-factor 1x1 -quality 90 assets/about.jpg

$IM assets/about.jpg -format 'assets/about.jpg: %wx%h\n' info:
