#!/usr/bin/env bash
# Shows a terminal picture in xterm's Tektronix 4014 window and keeps a
# screenshot, to look at what the Tektronix driver sends.
#
#   tools/check_xterm_tek.sh [build-dir] [output-dir]
#
# Runs the XtermTektronix test of the unit-test binary (it writes a box with
# a diagonal through the driver, starts Xvfb on a free display, shows the
# picture with `xterm -t`, takes the screenshot with xwd and checks the box
# and its aspect ratio), then converts the screenshot to PNG with netpbm.
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
TARVA_SCREENSHOT_DIR=$outdir "$build/tests/tarva_tests" --gtest_filter='XtermTektronix.*'
pnmtopng "$outdir/xterm_tek.ppm" >"$outdir/xterm_tek.png"
rm -f "$outdir/xterm_tek.ppm"
echo "screenshot: $outdir/xterm_tek.png"
