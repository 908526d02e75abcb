#!/usr/bin/env bash
# Side-by-side timing of tarva's pictures and gnuplot's (Debian package
# gnuplot-nox, 5.4) on the same spectrum: 1024 points with error bars
# (filled squares) and the fitted curve of two Gaussians on a line drawn in
# 250 steps. Per format, each program is started alternately with a script
# that draws the picture once and one that draws it 21 times into 21 files
# (tarva: DRAW/X with automatic names, DRAW/S to a file; gnuplot: a new
# output per plot); the difference of the medians over 20 is the time per
# picture of a running program, start-up and data reading cancelled. The
# load average is printed before and after.
#
# tarva draws each picture twice: in its print style (dense data as a line
# and a shaded band of the error bars, the default for these devices) and
# with every point's symbol and error bar as gnuplot draws them (DRAW/D CP).
#
# Formats: PDF (tarva DRAW/X, gnuplot pdfcairo, 11 x 8.5 in), SVG (svg,
# 792 x 612 pt), PNG (pngcairo, 1650 x 1275) and sixel (DRAW/S at 800 x 618
# to a file, gnuplot sixelgd 800 x 618); the last also reports each frame's
# size in bytes.
#
# Usage: bench/pictures_vs_gnuplot.sh build/tarva [rounds]
set -eu
bin=$(realpath "$1")
rounds=${2:-7}
command -v gnuplot >/dev/null || { echo "gnuplot not found (apt-get install gnuplot-nox)"; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The data: tarva's file (heading, captions, function and parameter count, the 8
# parameters, their masks, then X Y SIGMA) and gnuplot's columns.
awk 'BEGIN {
  print "Spectrum"; print "Channel"; print "Counts"; print " 18 8"
  print " 20 0 400 300 28.3 250 700 47.1"; print " 1 1 1 1 1 1 1 1"; print " 0"
  for (i = 0; i < 1024; i++) {
    p = 400 * exp(-0.5 * ((i - 300) / 12) ^ 2) + 250 * exp(-0.5 * ((i - 700) / 20) ^ 2)
    printf "%d %.4f %.4f\n", i, 20 + p, sqrt(20 + p)
  }
}' > xrf.fit
tail -n +8 xrf.fit > xrf.dat

tarva_script() { # format count style
  echo "data xrf"
  [ "$3" = symbols ] && echo "draw/d cp"
  case $1 in
    pdf) echo "define/x *" ;;
    svg) echo "define/x *.svg" ;;
    png) echo "define/x *.png" ;;
    sixel) echo "termin/s"; echo "dest frames.six" ;;
  esac
  for _ in $(seq "$2"); do [ "$1" = sixel ] && echo "draw/s" || echo "draw/x"; done
  echo "exit"
}

gnuplot_script() { # format count
  case $1 in
    pdf) echo "set term pdfcairo size 11in,8.5in"; ext=pdf ;;
    svg) echo "set term svg size 792,612"; ext=svg ;;
    png) echo "set term pngcairo size 1650,1275"; ext=png ;;
    sixel) echo "set term sixelgd size 800,618"; ext=six ;;
  esac
  echo "f(x) = 20 + 400*exp(-0.5*((x-300)/12)**2) + 250*exp(-0.5*((x-700)/20)**2)"
  echo "set samples 251"
  echo "do for [i=1:$2] { set output sprintf('g%03d.$ext', i); plot 'xrf.dat' with yerrorbars pt 5 ps 0.3, f(x) with lines lw 2 }"
  echo "set output"
}

seconds() { # command...: wall seconds
  local t0 t1
  t0=$(date +%s.%N)
  "$@" > /dev/null 2>&1
  t1=$(date +%s.%N)
  echo "$t0 $t1" | awk '{printf "%.4f\n", $2 - $1}'
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

echo "load before: $(uptime)"
for run in pdf:print pdf:symbols svg:print svg:symbols png:print png:symbols sixel:print sixel:symbols; do
  fmt=${run%:*} style=${run#*:}
  for n in 1 21; do
    tarva_script $fmt $n $style > t$n.in
    gnuplot_script $fmt $n > g$n.gp
  done
  : > times
  for _ in $(seq "$rounds"); do
    for n in 1 21; do
      rm -f plt* g0* frames.six
      echo "tarva $n $(seconds sh -c "'$bin' < t$n.in")" >> times
      echo "gnuplot $n $(seconds gnuplot g$n.gp)" >> times
    done
  done
  t1=$(awk '$1 == "tarva" && $2 == 1 {print $3}' times | median)
  t21=$(awk '$1 == "tarva" && $2 == 21 {print $3}' times | median)
  g1=$(awk '$1 == "gnuplot" && $2 == 1 {print $3}' times | median)
  g21=$(awk '$1 == "gnuplot" && $2 == 21 {print $3}' times | median)
  echo "$t1 $t21 $g1 $g21" | awk -v f=$run '{
    t = ($2 - $1) / 20 * 1000; g = ($4 - $3) / 20 * 1000
    printf "%-14s tarva %7.1f ms   gnuplot %7.1f ms   ratio %.2f\n", f, t, g, t / g }'
  if [ $fmt = sixel ]; then
    "$bin" < t1.in > /dev/null 2>&1
    gnuplot g1.gp > /dev/null 2>&1
    echo "sixel frame bytes: tarva $(wc -c < frames.six), gnuplot $(wc -c < g001.six)"
  fi
done
echo "load after: $(uptime)"
