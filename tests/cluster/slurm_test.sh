#!/bin/bash
# The guide's Slurm job array (docs/cluster.md) on a real single-node Slurm that this test
# starts itself: munged, slurmctld and slurmd from Debian's munge and slurm-wlm, by hand (no
# systemd), with a minimal slurm.conf, every file in a scratch directory and ports of their
# own. The job array of --shard runs must leave the tables, logs and consoles of one
# single-process run of the same grid, and veltrane-merge of the shards'
# catalogues must equal the single run's catalogue in its GALAXIES data.
#
# Usage: slurm_test.sh VELTRANE VELTRANE_MERGE SOURCE_DIR
# Exit status 77 (skipped, with the reason) where Slurm cannot be installed or started: not
# root, no apt-get, or a daemon that does not come up.
set -uo pipefail
veltrane=$(realpath "$1") merge=$(realpath "$2") src=$(realpath "$3")
export PATH="$(dirname "$veltrane"):$(dirname "$merge"):$PATH"
. "$src/tests/cluster/guide.sh"

skip() { echo "skipped: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "starting slurmctld and slurmd needs root"
if ! command -v slurmctld > /dev/null || ! command -v slurmd > /dev/null || ! command -v munged > /dev/null; then
  command -v apt-get > /dev/null || skip "no Slurm and no apt-get to install it"
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq slurm-wlm munge; } > /dev/null 2>&1 ||
    skip "installing slurm-wlm and munge failed"
fi

scratch=$(mktemp -d /tmp/veltrane-slurm.XXXXXX)
started=()  # pid files of the daemons this test started
stop_daemons() {
  local f pid
  for f in "${started[@]}"; do
    pid=$(cat "$f" 2> /dev/null) && [ -n "$pid" ] && kill "$pid" 2> /dev/null
  done
  for f in "${started[@]}"; do
    pid=$(cat "$f" 2> /dev/null) || continue
    for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
  done
}
trap 'stop_daemons; rm -rf "$scratch"' EXIT
chmod 711 "$scratch"  # munged wants its socket's directories searchable by all
s=$scratch/slurm
mkdir -p "$s/state" "$s/spool" "$s/munge"
chmod 711 "$s" "$s/munge"

# munged with a key of its own.
head -c 1024 /dev/urandom > "$s/munge/munge.key"
chmod 600 "$s/munge/munge.key"
munged --socket="$s/munge/socket" --key-file="$s/munge/munge.key" --log-file="$s/munge/log" \
  --pid-file="$s/munge/pid" --seed-file="$s/munge/seed" || skip "munged did not start: $(tail -n 2 "$s/munge/log")"
started+=("$s/munge/pid")

free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
cat > "$s/slurm.conf" << EOF
ClusterName=veltrane
SlurmctldHost=$(hostname -s)(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$s/munge/socket
CredType=cred/munge
StateSaveLocation=$s/state
SlurmdSpoolDir=$s/spool
SlurmctldPidFile=$s/slurmctld.pid
SlurmdPidFile=$s/slurmd.pid
SlurmctldLogFile=$s/slurmctld.log
SlurmdLogFile=$s/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SwitchType=switch/none
MpiDefault=none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
NodeName=veltrane-node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=survey Nodes=veltrane-node Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$s/slurm.conf
slurmctld -i || skip "slurmctld did not start: $(tail -n 3 "$s/slurmctld.log")"
started+=("$s/slurmctld.pid")
slurmd -N veltrane-node || skip "slurmd did not start: $(tail -n 3 "$s/slurmd.log")"
started+=("$s/slurmd.pid")
for _ in $(seq 120); do
  [ "$(sinfo -h -N -o %t 2> /dev/null)" = idle ] && break
  sleep 0.5
done
[ "$(sinfo -h -N -o %t 2> /dev/null)" = idle ] || skip "the node did not become idle: $(tail -n 3 "$s/slurmctld.log")"

status=0
# The single-process run, then the guide's job array in a second copy of the survey: six
# shards, two per array task.
two_surveys "$src" "$scratch" array survey.slurm || exit 1
SHARDS=6 PER_TASK=2 timeout 600 sbatch --wait --quiet --array=1-3 --cpus-per-task=1 survey.slurm ||
  { echo "the job array failed:"; cat veltrane-*.out; status=1; }
same_tables "$scratch/single" . || status=1
same_console "$scratch/single/console.txt" console/shard-{1..6}.txt || status=1
[ "$(ls catalog/*.done | wc -l)" = 6 ] || { echo "not every shard marked done"; status=1; }
bash merge.sh || { echo "merge.sh failed"; status=1; }
same_catalogue "$scratch/single/single.fits" survey.fits || status=1
[ $status = 0 ] && echo "the job array's tables, logs and consoles are those of the single run"
exit $status
