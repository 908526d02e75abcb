#!/usr/bin/env bash
# tarva --batch against the shell loop it replaces: N spectra (1024 points,
# 16 Gaussians on a line, the P1 layout with fresh noise per spectrum)
# fitted with FIT/C from the same start values
#   1. by one batch run, tarva --batch p1fit.qvc -j 2 (one results table);
#   2. by N separate tarva processes through xargs -P2 (the macro started
#      by name with the file, output discarded);
#   3. by N cfityk processes through xargs -P2 (Debian's "fityk"; a black
#      box for the timing only), the same data and start values;
# alternated over a few rounds; medians of the wall times, the load, and
# the largest resident size of any one file's process in a batch of N/10
# and of N files (constant memory per worker).
# Usage: bench/batch_vs_loop.sh build/tarva [files] [rounds]
set -eu
bin=$(realpath "$1")
files=${2:-1000}
rounds=${3:-3}
command -v cfityk >/dev/null || { echo "cfityk not found (apt-get install fityk)"; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
/usr/bin/python3 - "$here/data/p1.dat" "$files" <<'PY'
import math, random, sys
rows = [l.split() for l in open(sys.argv[1])]
rnd = random.Random(27)
for v in range(int(sys.argv[2])):
    with open("v%04d.dat" % v, "w") as out:
        for x, y, s in rows:
            y, s = float(y), float(s)
            out.write("%s %.4f %.6g\n" % (x, y + rnd.gauss(0, s), s))
PY
ls v*.dat > files.txt
{ echo "MAKE/3 ~"; echo "FUNCT 18"; echo "NPAR $(wc -l < "$here/data/p1_start.txt")"; echo "PARAM"
  awk '{print $2}' "$here/data/p1_start.txt"; echo "MASK/1"; echo "FIT/C"; } > p1fit.qvc
model=$("$here/fityk_model.sh" "$here/data/p1_start.txt")
while read -r f; do
  printf "@0 < '%s:1:2:3:'\nset max_wssr_evaluations = 5000\nF = %s\nfit\ninfo fit\n" "$f" "$model" > "${f%.dat}.fit"
done < files.txt
echo "load before: $(uptime)"
/usr/bin/python3 - "$bin" "$rounds" "$files" <<'PY'
import os, resource, statistics, subprocess, sys, time
bin, rounds, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
names = open("files.txt").read()
commands = {
    "tarva --batch -j 2": ([bin, "--batch", "p1fit.qvc", "-j", "2", "--no-progress", "--files-from", "files.txt",
                           "--table", "table.csv"], None),
    "tarva per file, xargs -P2": (["xargs", "-P2", "-I{}", "sh", "-c", "echo 'p1fit {}' | %s >/dev/null 2>&1" % bin], names),
    "cfityk per file, xargs -P2": (["xargs", "-P2", "-I{}", "sh", "-c", "cfityk -n -q \"$(basename {} .dat).fit\" >/dev/null 2>&1"], names),
}
wall, loads = {k: [] for k in commands}, []
for _ in range(rounds):
    for name, (args, stdin) in commands.items():
        t = time.perf_counter()
        subprocess.run(args, input=stdin, text=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall[name].append(time.perf_counter() - t)
        loads.append(os.getloadavg()[0])
fityk = statistics.median(wall["cfityk per file, xargs -P2"])
for name, w in wall.items():
    m = statistics.median(w)
    print("%-28s %7.2f s  (%s)  %.2f of fityk's" % (name, m, ", ".join("%.2f" % x for x in w), m / fityk))
rows = open("table.csv").read().splitlines()[1:]
print("table: %d rows, %d ok" % (len(rows), sum(1 for r in rows if r.split(",")[1] == "ok")))
# The largest resident size of one file's process, in a batch of a tenth
# of the files and in one of all of them (each its own measurement).
for n in (max(1, files // 10), files):
    with open("some.txt", "w") as f:
        f.write("\n".join(names.split()[:n]) + "\n")
    pid = subprocess.Popen([bin, "--batch", "p1fit.qvc", "-j", "2", "--no-progress", "--files-from", "some.txt",
                            "--table", "some.csv"]).pid
    _, _, usage = os.wait4(pid, 0)
    print("batch of %4d files: largest resident size of a process %d KB" % (n, usage.ru_maxrss))
print("load average during the rounds: %.1f to %.1f" % (min(loads), max(loads)))
PY
echo "load after: $(uptime)"
