#!/bin/bash
# GNU parallel over several machines that share the working directory
# (NFS): each job runs the macro on its share of the list and writes a
# partial table; the merge joins them in share order into the table a
# local run would have written.
#
#   ls *.dat > files.txt
#   docs/cluster/parallel.sh fit.qvc files.txt 8 results.csv
#
# SSHLOGINS names the machines as parallel's --sshlogin takes them
# ("4/node1,4/node2": four jobs on each of node1 and node2; ":" is this
# machine). Each job runs with one worker (-j 1); give more shares than
# machines so that a fast machine takes the next share.
set -eu
macro=$1 list=$2 shares=$3 table=$4
TARVA=${TARVA:-tarva}
SSHLOGINS=${SSHLOGINS:-:}
parts=${PARTS:-parts}
# Parts of an earlier run go first, so none of them is merged by mistake.
rm -f "$parts"/part.*
mkdir -p "$parts/logs"
# Shares are numbered 0000, 0001, ...: the part names sort in share order.
# --workdir . : each job starts in this directory on its machine.
status=0
seq -f %04g 0 $((shares - 1)) | parallel --sshlogin "$SSHLOGINS" --workdir . \
  "$TARVA" --batch "$macro" -j 1 --share {}/"$shares" --files-from "$list" \
  --table-part "$parts/part.{}" --logs "$parts/logs" || status=$?
# parallel's status counts the jobs that ended above 0: 1 is a share with
# failed files (their rows say how). Every part is named, so a share that
# could not run at all stops the merge instead of losing its rows.
"$TARVA" --merge-tables --table "$table" $(seq -f "$parts/part.%04g" 0 $((shares - 1)))
exit $((status > 0 ? 1 : 0))
