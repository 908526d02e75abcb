#!/usr/bin/env bash
# Makes the pictures of the README with tarva itself: writes a spectrum with
# two peaks on a sloping background (peaks.fit), runs the macro
# docs/pictures/readme.qvc (fit, then DRAW/Q), and renders the PostScript
# page with Ghostscript into docs/pictures/readme_fit.png.
#
#   tools/readme_picture.sh [path/to/tarva]    (default: build/tarva)
#
# Needs gs and netpbm (pnmflip, pnmtopng): the page is drawn in landscape on
# a portrait sheet, so it is turned upright before it becomes a PNG.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tarva=$(realpath "${1:-$root/build/tarva}")
out=$root/docs/pictures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# 200 channels: background 40 - 0.05 x, Gaussians at 60 (FWHM 10) and 130
# (FWHM 16), Poisson-like scatter from a fixed linear congruential sequence,
# error bars sqrt(y). The fit starts from rough guesses.
awk 'BEGIN {
  print "Two peaks on a sloping background"
  print "Channel"
  print "Counts"
  print "18 8"
  print "35 0 250 58 8 120 135 20"
  print "1 1 1 1 1 1 1 1"
  print "0"
  seed = 12345
  for (i = 0; i < 200; i++) {
    x = i
    g1 = 300 * exp(-4 * log(2) * ((x - 60) / 10) ^ 2)
    g2 = 150 * exp(-4 * log(2) * ((x - 130) / 16) ^ 2)
    y = 40 - 0.05 * x + g1 + g2
    s = 0
    for (k = 0; k < 12; k++) { seed = (seed * 1103515245 + 12345) % 2147483648; s += seed / 2147483648 }
    y = y + (s - 6) * sqrt(y)
    if (y < 1) y = 1
    printf "%d %.1f %.2f\n", x, y, sqrt(y)
  }
}' > peaks.fit

cp "$out/readme.qvc" .
echo "@readme" | HOME="$work" "$tarva" > tarva.out 2> tarva.err || { cat tarva.out; exit 1; }
ps=$(ls plt*.ps | head -n 1)
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r100 -sOutputFile=page.ppm "$ps"
pnmflip -r270 page.ppm | pnmtopng > "$out/readme_fit.png"
cp tarva.out "$out/readme_run.txt"
echo "wrote $out/readme_fit.png"
