#!/usr/bin/env bash
# FIT/C side by side with fityk (cfityk, Debian's package "fityk"; a black
# box for the timing only, no build or test requirement), from the same data
# and start values:
#  1. whole runs (process start to exit) of P1 and P2, tarva with FIT/C and
#     fityk with its fit, alternated, medians of wall and CPU time;
#  2. 200 variants of P1 (start heights, centres and widths moved by a few
#     per cent, the same for both programs) run through xargs -P2, each
#     program's batch timed as a whole, alternated over a few rounds.
# Prints the ratios, the fits' final reduced chi-squares and the load.
# Usage: bench/converging_fit_vs_fityk.sh build/tarva [rounds] [batch rounds]
set -eu
bin=$(realpath "$1")
rounds=${2:-31}
batches=${3:-5}
command -v cfityk >/dev/null || { echo "cfityk not found (apt-get install fityk)"; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/data/p1.dat "$here"/data/p2.dat "$work/"
cd "$work"
# tarva: the model's slot order is A1 A2 then H C W per peak (W = FWHM);
# fityk's Gaussian takes the half width.
write_pair() { # name data start-file
  local npar
  npar=$(wc -l < "$3")
  { echo "MAKE/3 $2"; echo "FUNCT 18"; echo "NPAR $npar"; echo "PARAM"
    awk '{print $2}' "$3"; echo "MASK/1"; echo "FIT/C"; echo "EXIT"; } > "$1.qvc"
  echo "@$1" > "$1.in"
  printf "@0 < '%s:1:2:3:'\nset max_wssr_evaluations = 5000\nF = %s\nfit\ninfo fit\n" \
    "$2" "$("$here/fityk_model.sh" "$3")" > "$1.fit"
}
write_pair p1 p1.dat "$here/data/p1_start.txt"
write_pair p2 p2.dat "$here/data/p2_start.txt"
mkdir variants
cp p1.dat variants/
python3 - "$here/data/p1_start.txt" <<'PY'
import random, sys
rows = [l.split() for l in open(sys.argv[1])]
rnd = random.Random(25)
for v in range(200):
    with open("variants/v%03d.txt" % v, "w") as out:
        for name, value in rows:
            x = float(value)
            if name[0] == "H": x *= rnd.uniform(0.9, 1.1)
            if name[0] == "C": x += rnd.uniform(-0.5, 0.5)
            if name[0] == "W": x *= rnd.uniform(0.95, 1.05)
            out.write("%s %.6g\n" % (name, x))
PY
for v in variants/*.txt; do
  n=$(basename "$v" .txt)
  write_pair "variants/$n" p1.dat "$v"
  sed -i "s|^@variants/|@|" "variants/$n.in"
done
echo "load before: $(uptime)"
echo "tarva P1:$("$bin" < p1.in 2>/dev/null | grep -E 'After|Final CHI|onverged|NOT' | tr -s ' ' | tr '\n' ';')"
echo "fityk P1: $(cfityk -n -q p1.fit 2>&1 | grep -E 'WSSR/DoF' | tr -s ' ' | tr '\n' ';')"
python3 - "$bin" "$rounds" "$batches" <<'PY'
import os, subprocess, sys, time, statistics
bin, rounds, batches = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])

def run(args, stdin=None, cwd=None):
    with open(stdin) if stdin else open(os.devnull) as inp:
        t = time.perf_counter()
        proc = subprocess.Popen(args, stdin=inp, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=cwd)
        _, status, usage = os.wait4(proc.pid, 0)
    if status != 0:
        raise SystemExit("%s failed" % args[0])
    return time.perf_counter() - t, usage.ru_utime + usage.ru_stime

loads, wall, cpu = [], {}, {}
for _ in range(rounds):
    for p in ("p1", "p2"):
        for name, args, stdin in (("tarva", [bin], p + ".in"), ("fityk", ["cfityk", "-n", "-q", p + ".fit"], None)):
            w, c = run(args, stdin)
            wall.setdefault((name, p), []).append(w)
            cpu.setdefault((name, p), []).append(c)
    loads.append(float(open("/proc/loadavg").read().split()[0]))
for p in ("p1", "p2"):
    tw, fw = (statistics.median(wall[(n, p)]) * 1e3 for n in ("tarva", "fityk"))
    tc, fc = (statistics.median(cpu[(n, p)]) * 1e3 for n in ("tarva", "fityk"))
    print("%s whole run: wall tarva %.2f ms, fityk %.2f ms, tarva/fityk %.2f; CPU %.2f / %.2f ms = %.2f"
          % (p.upper(), tw, fw, tw / fw, tc, fc, tc / fc))
names = sorted(f[:-3] for f in os.listdir("variants") if f.endswith(".in"))
batch = {"tarva": [], "fityk": []}
for _ in range(batches):
    for name in ("tarva", "fityk"):
        if name == "tarva":
            script = "xargs -P2 -I{} sh -c '%s < {}.in > /dev/null 2>&1'" % bin
        else:
            script = "xargs -P2 -I{} sh -c 'cfityk -n -q {}.fit > /dev/null 2>&1'"
        t = time.perf_counter()
        subprocess.run(script, shell=True, input="\n".join(names) + "\n", text=True, cwd="variants", check=True)
        batch[name].append(time.perf_counter() - t)
    loads.append(float(open("/proc/loadavg").read().split()[0]))
tb, fb = (statistics.median(batch[n]) for n in ("tarva", "fityk"))
print("200 P1 variants through xargs -P2: tarva %.2f s, fityk %.2f s, tarva/fityk %.2f (medians of %d)"
      % (tb, fb, tb / fb, batches))
print("load average during the rounds: %.1f to %.1f" % (min(loads), max(loads)))
PY
echo "load after: $(uptime)"
