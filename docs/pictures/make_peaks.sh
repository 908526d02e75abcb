#!/usr/bin/env bash
# Writes the README's spectrum to standard output: 200 channels, background
# 40 - 0.05 x, Gaussians at 60 (FWHM 10) and 130 (FWHM 16), Poisson-like
# scatter from a fixed linear congruential sequence, error bars sqrt(y).
# The data file names function 18 (a line plus Gaussians) with rough
# starting values for FIT.
#
#   docs/pictures/make_peaks.sh > peaks.fit
set -euo pipefail
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
}'
