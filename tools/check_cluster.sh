#!/usr/bin/env bash
# The cluster check: 40 generated spectra (two with no readable table) fitted
# by one macro three ways, whose tables must be identical byte for byte:
#   1. one local batch (tarva --batch -j 2);
#   2. GNU parallel with local workers, four shares, docs/cluster/parallel.sh;
#   3. a 4-task Slurm job array (docs/cluster/tarva-array.sbatch) on a
#      single-node Slurm started here (tools/local_slurm.sh; root only),
#      then merged.
# Without GNU parallel or Slurm that part is left out with a note (with CI
# set it fails instead); not as root, the Slurm part is left out.
# Usage: tools/check_cluster.sh path/to/tarva
set -euo pipefail
bin=$(realpath "${1:?path to tarva}")
here=$(cd "$(dirname "$0")/.." && pwd)
ci=${CI:-}
work=$(mktemp -d)
slurm_dir=$work/slurm
cleanup() {
  [ -e "$slurm_dir/slurm.conf" ] && "$here/tools/local_slurm.sh" stop "$slurm_dir" || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
missing() { # what
  if [ -n "$ci" ] && [ "$ci" != false ]; then echo "cluster check: $1 missing" >&2; exit 1; fi
  echo "cluster check: $1 missing, that part left out"
}

# Two Gaussians on a background, 100 points, heights and centres moved per file.
for k in $(seq 1 40); do
  awk -v k="$k" 'BEGIN { srand(k); for (i = 0; i < 100; i++) {
      y = 12 + 0.05*i + (100+k)*exp(-2.7726*(i-30-k/20)^2/69) + (60-k/2)*exp(-2.7726*(i-65)^2/104)
      s = sqrt(y); printf "%d %.4f %.4f\n", i, y + (rand()-0.5)*2*s, s } }' > "s$k.dat"
done
printf 'no table\n' > s7.dat
: > s23.dat
ls s*.dat | sort -V > files.txt
printf 'MAKE/3 ~\nFUNCT 18\nNPAR 8\nPARAM\n10\n0\n100\n30\n8\n60\n65\n10\nMASK/1\nFIT/C\n' > fit.qvc

set +e
"$bin" --batch fit.qvc -j 2 --no-progress --files-from files.txt --table local.csv
status=$?
set -e
[ "$status" = 1 ] || { echo "cluster check: the local batch ended with $status (1 expected: two files fail)" >&2; exit 1; }
[ "$(wc -l < local.csv)" = 41 ] || { echo "cluster check: the local table has not 41 lines" >&2; exit 1; }
[ "$(grep -c ',ok,' local.csv)" = 38 ] || { echo "cluster check: 38 ok rows expected" >&2; exit 1; }
echo "cluster check: local batch, 40 files, 38 fitted"

if command -v parallel >/dev/null; then
  TARVA=$bin PARTS=pparts "$here/docs/cluster/parallel.sh" fit.qvc files.txt 4 parallel.csv || true
  cmp local.csv parallel.csv
  echo "cluster check: GNU parallel, 4 shares merged: the local table"
else
  missing "GNU parallel"
fi

if [ "$(id -u)" != 0 ]; then
  echo "cluster check: not root, the Slurm part is left out"
elif command -v slurmctld >/dev/null && command -v munged >/dev/null; then
  "$here/tools/local_slurm.sh" start "$slurm_dir"
  export SLURM_CONF=$slurm_dir/slurm.conf
  TARVA=$bin sbatch --quiet --wait --array=0-3 --export=ALL "$here/docs/cluster/tarva-array.sbatch" || true
  "$bin" --merge-tables --table slurm.csv $(seq -f parts/part.%04g 0 3)
  cmp local.csv slurm.csv
  echo "cluster check: Slurm job array, 4 tasks merged: the local table"
else
  missing "Slurm (slurm-wlm, munge)"
fi
