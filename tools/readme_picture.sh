#!/usr/bin/env bash
# Makes the picture of the README with tarva itself: writes the spectrum with
# two peaks on a sloping background (docs/pictures/make_peaks.sh, peaks.fit),
# runs the macro docs/pictures/readme.qvc (fit, then DRAW/X into a PNG file)
# and keeps the PNG as docs/pictures/readme_fit.png and the run's terminal
# output as docs/pictures/readme_run.txt.
#
#   tools/readme_picture.sh [path/to/tarva]    (default: build/tarva)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tarva=$(realpath "${1:-$root/build/tarva}")
out=$root/docs/pictures
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$out/make_peaks.sh" > peaks.fit
cp "$out/readme.qvc" .
echo "@readme" | HOME="$work" "$tarva" > tarva.out 2> tarva.err || { cat tarva.out; exit 1; }
cp readme_fit.png "$out/readme_fit.png"
cp tarva.out "$out/readme_run.txt"
echo "wrote $out/readme_fit.png"
