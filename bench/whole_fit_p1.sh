#!/usr/bin/env bash
# Times tarva from its start on a macro that loads P1, sets up the 50
# parameters, fits and exits. Usage: bench/whole_fit_p1.sh build/tarva [runs]
set -eu
bin=$(realpath "$1")
runs=${2:-31}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/data/p1.dat" "$work/"
{
  echo "MAKE/3 p1.dat"; echo "FUNCT 18"; echo "NPAR 50"; echo "PARAM"
  awk '{print $2}' "$here/data/p1_start.txt"
  echo "MASK/1"; echo "FIT"; echo "EXIT"
} > "$work/p1.qvc"
cd "$work"
echo "@p1" > run.in
python3 - "$bin" "$runs" <<'PY'
import subprocess, sys, time, statistics
bin, runs = sys.argv[1], int(sys.argv[2])
times = []
for _ in range(runs):
    t = time.perf_counter()
    subprocess.run([bin], stdin=open("run.in"), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    times.append(time.perf_counter() - t)
print("median %.1f ms, fastest %.1f ms over %d runs" % (statistics.median(times) * 1e3, min(times) * 1e3, runs))
PY
