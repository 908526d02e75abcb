#!/usr/bin/env bash
# A single-node Slurm on this machine, for the cluster check (root only):
#   tools/local_slurm.sh start DIR   munged (as user munge, unless one already
#                                    answers), slurmctld and slurmd with their
#                                    state, spool, logs and slurm.conf in DIR;
#                                    waits until the node takes jobs
#   tools/local_slurm.sh stop DIR    stops what start started
# Clients then need SLURM_CONF=DIR/slurm.conf. The node runs jobs as plain
# processes (proctrack/linuxproc, task/none, no accounting), so it needs no
# cgroups; its ports are 16817 and 16818, away from a real cluster's.
set -eu
cmd=${1:?start or stop}
dir=$(realpath -m "${2:?state directory}")
conf=$dir/slurm.conf
case $cmd in
start)
  [ "$(id -u)" = 0 ] || { echo "local_slurm.sh: root only" >&2; exit 2; }
  mkdir -p "$dir/state" "$dir/spool"
  if ! munge -n 2>/dev/null | unmunge >/dev/null 2>&1; then
    [ -s /etc/munge/munge.key ] || { mungekey --create 2>/dev/null || dd if=/dev/urandom of=/etc/munge/munge.key bs=1 count=1024 2>/dev/null; }
    chown munge:munge /etc/munge/munge.key; chmod 400 /etc/munge/munge.key
    mkdir -p /run/munge /var/lib/munge /var/log/munge; chown munge:munge /run/munge /var/lib/munge /var/log/munge
    runuser -u munge -- /usr/sbin/munged --pid-file=/run/munge/munged.pid --force
    touch "$dir/munged.started"
  fi
  host=$(hostname -s)
  cat > "$conf" <<CONF
ClusterName=tarvacheck
SlurmctldHost=$host
SlurmUser=root
SlurmctldPort=16817
SlurmdPort=16818
AuthType=auth/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
SlurmdTimeout=30
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=check Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
  export SLURM_CONF=$conf
  /usr/sbin/slurmctld -f "$conf" -i
  /usr/sbin/slurmd -f "$conf"
  for _ in $(seq 60); do
    state=$(sinfo -h -n "$host" -o %t 2>/dev/null || true)
    case $state in idle*|mix*|alloc*) exit 0 ;; down*|drain*) scontrol update nodename="$host" state=resume 2>/dev/null || true ;; esac
    sleep 0.5
  done
  echo "local_slurm.sh: the node did not come up (see $dir/*.log)" >&2
  exit 1 ;;
stop)
  for d in slurmd slurmctld; do
    if [ -s "$dir/$d.pid" ]; then kill "$(cat "$dir/$d.pid")" 2>/dev/null || true; fi
  done
  munged_pid=
  if [ -e "$dir/munged.started" ] && [ -s /run/munge/munged.pid ]; then
    munged_pid=$(cat /run/munge/munged.pid)
    kill "$munged_pid" 2>/dev/null || true
  fi
  for p in "$dir/slurmd.pid" "$dir/slurmctld.pid"; do
    for _ in $(seq 20); do
      [ -s "$p" ] && kill -0 "$(cat "$p")" 2>/dev/null || break
      sleep 0.25
    done
  done
  for _ in $(seq 20); do
    [ -n "$munged_pid" ] && kill -0 "$munged_pid" 2>/dev/null || break
    sleep 0.25
  done ;;
*) echo "usage: tools/local_slurm.sh start|stop DIR" >&2; exit 2 ;;
esac
