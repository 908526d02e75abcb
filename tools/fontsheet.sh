#!/usr/bin/env bash
# Draws the stroke-font specimen sheet (every font, the text escapes, the
# eight plot symbols with error bars, a logarithmic X axis) with the
# specimen macro and renders it to PNG with Ghostscript.
#
# Usage: tools/fontsheet.sh [TARVA_BINARY] [OUTPUT.png]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$here/build/tarva}
png=${2:-$PWD/fontsheet.png}
case $png in /*) ;; *) png=$PWD/$png ;; esac
case $bin in /*) ;; *) bin=$PWD/$bin ;; esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/tests/transcripts/graphics/font_sample_sheet_renders.files/* "$work"/
mkdir -p "$work/home/bin"
(cd "$work" && printf '@fontsheet\nexit\n' | HOME="$work/home" "$bin" >/dev/null 2>&1)
# The picture lies on a landscape page; turn it upright when netpbm is there.
if command -v pnmflip >/dev/null && command -v pnmtopng >/dev/null; then
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pnmraw -r100 -sOutputFile="$work/page.pnm" "$work/plt01.ps"
  pnmflip -r270 "$work/page.pnm" | pnmtopng > "$png"
else
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r100 -sOutputFile="$png" "$work/plt01.ps"
fi
echo "sheet written to $png"
