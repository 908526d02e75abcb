#!/usr/bin/env bash
# Where the time of one fit iteration goes, against points and parameters:
# runs BM_IterationScalingCount (70 one-thread iterations of a synthetic
# spectrum, line plus Gaussians) under callgrind for each size and prints
# the instructions per iteration of the Gaussian kernel's two passes (exp
# included, and exp alone), the residual and nonzero lists, the
# normal-equation sums, the inversion and the rest (step, chi-square sum).
# Usage: bench/scaling_profile.sh build/bench/tarva_bench
set -eu
bench=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-7s %-6s %8s %8s %6s %8s %8s %8s %8s\n' points params total kernel exp lists sums invert rest
for points in 256 512 1024; do
  for peaks in 4 8 16; do
    out="$work/cg.$points.$peaks"
    valgrind --tool=callgrind --callgrind-out-file="$out" \
      --toggle-collect='tarva::iteration_step*' --toggle-collect='*timed_chi_square*' \
      "$bench" --benchmark_filter="^BM_IterationScalingCount/points:$points/peaks:$peaks/" >/dev/null 2>&1
    callgrind_annotate --inclusive=yes "$out" 2>/dev/null | python3 -c '
import re, sys
points, params = sys.argv[1], sys.argv[2]
cost = {}
total = 0
for line in sys.stdin:
    m = re.match(r"\s*([\d,]+) \([ \d.]+%\)\s+(.*)", line)
    if not m:
        continue
    n = int(m.group(1).replace(",", ""))
    name = m.group(2)
    if "PROGRAM TOTALS" in name:
        total = n
    for key, pat in (("kernel", "gaussian_series_kernel.cpp:tarva::(anonymous namespace)::run("),
                     ("exp", "exp@@GLIBC"), ("lists", "::prepare_points("),
                     ("sums", "::sum_rows("), ("invert", "tarva::invert_matrix(")):
        if pat in name:
            cost[key] = max(cost.get(key, 0), n)
per = lambda k: cost.get(k, 0) / 70 / 1e3
rest = total / 70 / 1e3 - sum(per(k) for k in ("kernel", "lists", "sums", "invert"))
print("%-7s %-6s %7.0fk %7.0fk %5.0fk %7.0fk %7.0fk %7.0fk %7.0fk" % (points, params, total / 70 / 1e3,
      per("kernel"), per("exp"), per("lists"), per("sums"), per("invert"), rest))
' "$points" "$((2 + 3 * peaks))"
  done
done
