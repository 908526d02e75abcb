#!/usr/bin/env bash
# Shows a terminal picture in xterm's Tektronix 4014 window, and a sixel
# picture in xterm as a VT340, and keeps the screenshots, to look at what
# the terminal drivers send.
#
#   tools/check_xterm_tek.sh [build-dir] [output-dir]
#
# Runs the XtermTektronix tests of the unit-test binary (each writes a box
# with a diagonal through the driver, starts Xvfb on a free display, shows
# the picture in xterm, takes the screenshot with xwd and checks the box and
# its aspect ratio): terminal type 1 in `xterm -t` (xterm_tek.png) and type 9,
# which switches a text-mode xterm to its Tektronix window (xterm_type9.png);
# and the XtermSixel test of the sixel file in `xterm -ti vt340`
# (xterm_sixel.png).
# The screenshots are converted to PNG with netpbm.
# Needs xterm, xvfb, x11-apps (xwd) and netpbm (.ci/run installs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
outdir=${2:-$PWD}
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
for p in xterm Xvfb xwd xwdtopnm pnmtopng; do
  command -v "$p" >/dev/null || { echo "missing: $p" >&2; exit 2; }
done
TARVA_SCREENSHOT_DIR=$outdir "$build/tests/tarva_tests" --gtest_filter='XtermTektronix.*:XtermSixel.Vt340*'
for shot in xterm_tek xterm_type9 xterm_sixel; do
  pnmtopng "$outdir/$shot.ppm" >"$outdir/$shot.png"
  rm -f "$outdir/$shot.ppm"
  echo "screenshot: $outdir/$shot.png"
done
