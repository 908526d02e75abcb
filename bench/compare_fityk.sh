#!/usr/bin/env bash
# Side-by-side timing of tarva and fityk (cfityk, Debian package "fityk") on
# the two benchmark problems. Both programs are started alternately on four
# scripts each: without the fit, with a fit stopped after its first step,
# with the whole fit (7 steps on both problems for both programs), and with
# the whole fit done 20 times over from the start values in one run. The
# differences of the medians give the whole fit, the time per step after the
# first one, and the time per step of a program that is already running
# (the last over 19 x 7 steps); the load of the machine weighs on both sides
# alike. The CPU time (user and system) of the whole runs is reported too,
# as steadier than wall time on a loaded machine, and the load average seen
# during the rounds.
#
# With the benchmark program as third argument, each round also runs one
# iteration of P1 in a running tarva (BM_IterationP1), so that figure too is
# taken side by side with fityk's.
#
# Usage: bench/compare_fityk.sh build/tarva [rounds] [build/bench/tarva_bench]
# Needs cfityk on the PATH (not a build or test requirement).
set -eu
bin=$(realpath "$1")
rounds=${2:-41}
bench_bin=${3:+$(realpath "$3")}
command -v cfityk >/dev/null || { echo "cfityk not found (apt-get install fityk)"; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/data/p1.dat "$here"/data/p2.dat "$work/"

for p in p1 p2; do
  npar=$(wc -l < "$here/data/${p}_start.txt")
  # tarva: the model's slot order is A1 A2 then H C W per peak (W = FWHM)
  # variant 0: no fit, 1: one step, 2: the whole fit, 3: the whole fit 20 times
  for v in 0 1 2 3; do
    fits=$([ "$v" = 3 ] && echo 20 || echo 1)
    {
      echo "MAKE/3 $p.dat"; echo "FUNCT 18"; echo "NPAR $npar"
      for _ in $(seq "$fits"); do
        echo "PARAM"
        awk '{print $2}' "$here/data/${p}_start.txt"
        echo "MASK/1"
        [ "$v" = 1 ] && echo "FIT 1"
        [ "$v" -ge 2 ] && echo "FIT"
      done
      echo "EXIT"
    } > "$work/${p}_$v.qvc"
    echo "@${p}_$v" > "$work/${p}_$v.in"
  done
  # fityk: the same start values; its Gaussian takes the half width
  model=$("$here/fityk_model.sh" "$here/data/${p}_start.txt")
  # fityk counts evaluations of the sum of squares: the start is the first
  for v in 0 1 2 3; do
    fits=$([ "$v" = 3 ] && echo 20 || echo 1)
    {
      echo "@0 < '$p.dat:1:2:3:'"
      echo "set max_wssr_evaluations = 5000"
      for _ in $(seq "$fits"); do
        echo "F = $model"
        [ "$v" = 1 ] && echo "fit 2"
        [ "$v" -ge 2 ] && echo "fit"
      done
      echo "info fit"
    } > "$work/${p}_$v.fit"
  done
done

cd "$work"
python3 - "$bin" "$rounds" "$bench_bin" <<'PY'
import json, os, subprocess, sys, time, statistics
bin, rounds, bench_bin = sys.argv[1], int(sys.argv[2]), sys.argv[3]
iteration = []

def tarva_iteration():
    out = subprocess.run([bench_bin, "--benchmark_filter=^BM_IterationP1$", "--benchmark_min_time=0.05",
                          "--benchmark_format=json"], capture_output=True, text=True, check=True).stdout
    iteration.append(json.loads(out)["benchmarks"][0]["real_time"])

# Each run returns the CPU time (user and system) of the process.
def run(args, stdin=None):
    with open(stdin) if stdin else open(os.devnull) as inp:
        proc = subprocess.Popen(args, stdin=inp, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
    if status != 0:
        raise SystemExit("%s failed" % args[0])
    return usage.ru_utime + usage.ru_stime

def tarva(p, v):
    return run([bin], "%s_%d.in" % (p, v))

def fityk(p, v):
    return run(["cfityk", "-n", "-q", "%s_%d.fit" % (p, v)])

progs = (("tarva", tarva), ("fityk", fityk))
times = {(name, p, v): [] for name, _ in progs for p in ("p1", "p2") for v in (0, 1, 2, 3)}
cpu = {(name, p, v): [] for name, _ in progs for p in ("p1", "p2") for v in (0, 1, 2, 3)}
loads = []
for _ in range(rounds):
    for p in ("p1", "p2"):
        for v in (0, 1, 2, 3):
            for name, prog in progs:
                t = time.perf_counter()
                cpu[(name, p, v)].append(prog(p, v))
                times[(name, p, v)].append(time.perf_counter() - t)
    if bench_bin:
        tarva_iteration()
    with open("/proc/loadavg") as f:
        loads.append(float(f.read().split()[0]))

med = {k: statistics.median(v) * 1e3 for k, v in times.items()}
steps = 7
print("medians of %d alternating runs, ms" % rounds)
for p in ("p1", "p2"):
    per, running = {}, {}
    for name, _ in progs:
        none, one, whole, twenty = (med[(name, p, v)] for v in (0, 1, 2, 3))
        per[name] = (whole - one) / (steps - 1)
        running[name] = (twenty - whole) / (19 * steps)
        print("%s %s: whole run %.2f, without the fit %.2f, fit %.2f, per step after the first %.3f, "
              "per step when running %.3f" % (p, name, whole, none, whole - none, per[name], running[name]))
    print("%s: fityk/tarva whole run %.2f (tarva/fityk %.2f), per step after the first %.2f, per step when running %.2f"
          % (p, med[("fityk", p, 2)] / med[("tarva", p, 2)], med[("tarva", p, 2)] / med[("fityk", p, 2)],
             per["fityk"] / per["tarva"],
             running["fityk"] / running["tarva"]))
print("whole runs, CPU time (user and system), medians in ms:")
for p in ("p1", "p2"):
    t, f = (statistics.median(cpu[(name, p, 2)]) * 1e3 for name in ("tarva", "fityk"))
    print("%s: tarva %.2f, fityk %.2f, tarva/fityk %.2f" % (p, t, f, t / f))
print("load average during the rounds: %.1f to %.1f" % (min(loads), max(loads)))
if iteration:
    it = statistics.median(iteration)
    print("p1: one iteration in a running tarva (BM_IterationP1) %.3f ms; fityk's step when running is %.2f times that"
          % (it, ((med[("fityk", "p1", 3)] - med[("fityk", "p1", 2)]) / (19 * steps)) / it))
PY
