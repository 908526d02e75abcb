#!/usr/bin/env bash
# Whole runs (process start to exit) on P1, taken alternately: tarva with
# FIT/C, tarva with FIT, and fityk (cfityk, Debian's package "fityk"; a black
# box for the timing only, no build or test requirement) with its fit, all
# from the same start values. Prints the medians, the final reduced
# chi-squares, and the machine load before and after.
# Usage: bench/converging_fit_p1.sh build/tarva [rounds]
set -eu
bin=$(realpath "$1")
rounds=${2:-31}
command -v cfityk >/dev/null || { echo "cfityk not found (apt-get install fityk)"; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/data/p1.dat" "$work/"
for fit in FIT/C FIT; do
  name=$([ "$fit" = FIT ] && echo plain || echo converging)
  {
    echo "MAKE/3 p1.dat"; echo "FUNCT 18"; echo "NPAR 50"; echo "PARAM"
    awk '{print $2}' "$here/data/p1_start.txt"
    echo "MASK/1"; echo "$fit"; echo "EXIT"
  } > "$work/$name.qvc"
  echo "@$name" > "$work/$name.in"
done
model=$("$here/fityk_model.sh" "$here/data/p1_start.txt")
printf "@0 < 'p1.dat:1:2:3:'\nset max_wssr_evaluations = 5000\nF = %s\nfit\ninfo fit\n" "$model" > "$work/p1.fit"
cd "$work"
echo "load before: $(uptime)"
echo "tarva FIT/C:$("$bin" < converging.in 2>/dev/null | grep -E 'After|Final CHI|onverged|Stopped' | tr -s ' ' | tr '\n' ';')"
echo "fityk: $(cfityk -n -q p1.fit 2>&1 | grep -E 'evaluations|WSSR/DoF' | tr -s ' ' | tr '\n' ';')"
python3 - "$bin" "$rounds" <<'PY'
import subprocess, sys, time, statistics
bin, rounds = sys.argv[1], int(sys.argv[2])
runs = {"tarva FIT/C": ([bin], "converging.in"), "fityk fit": (["cfityk", "-n", "-q", "p1.fit"], None),
        "tarva FIT": ([bin], "plain.in")}
times = {k: [] for k in runs}
for _ in range(rounds):
    for name, (cmd, stdin) in runs.items():
        t = time.perf_counter()
        subprocess.run(cmd, stdin=open(stdin) if stdin else subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        times[name].append(time.perf_counter() - t)
med = {k: statistics.median(v) * 1e3 for k, v in times.items()}
print("medians of %d alternating whole runs, ms: " % rounds + ", ".join("%s %.1f" % kv for kv in med.items()))
print("fityk / tarva FIT/C: %.2f" % (med["fityk fit"] / med["tarva FIT/C"]))
PY
echo "load after: $(uptime)"
