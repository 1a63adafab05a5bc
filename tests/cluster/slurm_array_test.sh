#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A throw-away single-node Slurm cluster runs a job array of pictavo-cli --shard auto over a
# mixed tree; the shards' outputs must be byte-identical to one unsharded run and their
# reports must merge into a complete set.
#
#   slurm_array_test.sh PICTAVO_CLI TEST_DATA_FOLDER
#
# Everything lives in a temporary folder: munged runs as the munge user in the foreground,
# slurmctld and slurmd with -D in the background, no systemd, no accounting; every client
# command reads the cluster's slurm.conf through SLURM_CONF. The daemons are stopped by the
# PIDs started here. Without root or the Slurm packages the test exits 77, which ctest
# reports as skipped, never as passed. Set PICTAVO_SLURM_IMAGES to run it over more images
# (bench/slurm-cycle.sh does), and PICTAVO_SLURM_KEEP=1 to keep the folder with its logs.
set -euo pipefail

cli=$(realpath "${1:?the pictavo-cli program}")
data=$(realpath "${2:?the tests/data folder}")
images_wanted=${PICTAVO_SLURM_IMAGES:-0}
SKIP=77

skip() {
  echo "SKIPPED: $*"
  exit $SKIP
}
[ "$(id -u)" -eq 0 ] || skip "a Slurm cluster needs root (the daemons and the munge user)"
for tool in munged mungekey slurmctld slurmd sbatch sinfo setpriv; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps.sh cluster installs slurmctld slurmd slurm-client munge)"
done
getent passwd munge >/dev/null || skip "there is no munge user (the munge package makes it)"

now() { date +%s.%N; }
seconds_since() { awk -v start="$1" -v end="$(now)" 'BEGIN { printf "%.1f", end - start }'; }
started=$(now)

base=$(mktemp -d /tmp/pictavo-slurm-XXXXXX)
chmod 755 "$base" # munged, as the munge user, must reach its own folders inside
daemons=()
stop_daemons() {
  local pid
  for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${daemons[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ -n "${PICTAVO_SLURM_KEEP:-}" ] || rm -rf "$base"
}
trap stop_daemons EXIT
fail() {
  echo "FAILED: $*"
  for log in "$base"/log/*; do
    echo "--- $log"
    tail -n 20 "$log"
  done
  exit 1
}

# A port nobody listens on; two clusters of two test runs on one machine must not meet.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 20000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
  fail "no free port"
}

# --- a mixed tree: both formats, nested folders, names with blanks and non-ASCII letters, a
# hidden folder that no run may enter, a file that is no image.
in=$base/in
mkdir -p "$in/2024/05 May" "$in/png/deep/er" "$in/Ünïcode" "$in/.hidden" "$in/empty"
cp "$data/jpeg/testorig.jpg" "$in/a.jpg"
cp "$data/jpeg/testimgint.jpg" "$in/2024/05 May/restart intervals.JPG"
cp "$data/jpeg/testorig.png" "$in/2024/b.png"
cp "$data/jpeg/testorig.jpg" "$in/Ünïcode/ç.jpeg"
cp "$data/jpeg/testorig.jpg" "$in/.hidden/never.jpg"
echo "not an image" >"$in/notes.txt"
for png in "$data"/png/pngsuite/basn*.png; do cp "$png" "$in/png/deep/er/"; done
for ((i = 0; i < images_wanted; i++)); do
  mkdir -p "$in/many/$((i % 50))"
  cp "$data/jpeg/testorig.jpg" "$in/many/$((i % 50))/img_$i.jpg"
done

# --- the reference: one unsharded run (small outputs: the test is about the shares, not the codecs)
mkdir -p "$base/single" "$base/sharded" "$base/log"
reference_started=$(now)
"$cli" --quiet --size 300 --report "$base/single.json" "$in" "$base/single" >"$base/log/single.out" 2>&1 ||
  fail "the unsharded run failed"
reference_time=$(seconds_since "$reference_started")
cluster_started=$(now)

# --- the cluster
mkdir -p "$base/munge" "$base/munge-run" "$base/state" "$base/spool"
chown munge:munge "$base/munge" "$base/munge-run"
chmod 700 "$base/munge"
chmod 755 "$base/munge-run"
mungekey --create --keyfile="$base/munge/munge.key" 2>/dev/null ||
  dd if=/dev/urandom of="$base/munge/munge.key" bs=1024 count=1 status=none
chown munge:munge "$base/munge/munge.key"
chmod 600 "$base/munge/munge.key"
setpriv --reuid=munge --regid=munge --init-groups munged --foreground \
  --key-file="$base/munge/munge.key" --socket="$base/munge-run/socket" \
  --pid-file="$base/munge-run/munged.pid" --seed-file="$base/munge/seed" \
  --log-file="$base/munge/munged.log" >"$base/log/munged.out" 2>&1 &
daemons+=($!)
for _ in $(seq 100); do [ -S "$base/munge-run/socket" ] && break; sleep 0.05; done
[ -S "$base/munge-run/socket" ] || fail "munged did not start"

cat >"$base/slurm.conf" <<CONF
ClusterName=pictavo
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$base/munge-run/socket
StateSaveLocation=$base/state
SlurmdSpoolDir=$base/spool
SlurmctldPidFile=$base/slurmctld.pid
SlurmdPidFile=$base/slurmd.pid
SlurmctldLogFile=$base/log/slurmctld.log
SlurmdLogFile=$base/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$(nproc)
PartitionName=test Nodes=localhost Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$base/slurm.conf
slurmctld -D -i >"$base/log/slurmctld.out" 2>&1 &
daemons+=($!)
slurmd -D -N localhost >"$base/log/slurmd.out" 2>&1 &
daemons+=($!)
state=
for _ in $(seq 300); do
  state=$(sinfo -h -o %t 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.1
done
[ "$state" = idle ] || fail "the node did not come up (state '$state')"
cluster_up=$(seconds_since "$cluster_started")

# --- the job array: four tasks, each its shard of the tree
cat >"$base/job.sh" <<JOB
#!/bin/bash
exec "$cli" --size 300 --shard auto --report "$base/report-{shard}.json" "$in" "$base/sharded"
JOB
array_started=$(now)
(cd "$base" && timeout 120 sbatch --quiet --array=0-3 --wait --output="$base/log/task-%a.out" "$base/job.sh") ||
  fail "the job array failed"
array_time=$(seconds_since "$array_started")

# --- the checks
for index in 0 1 2 3; do
  grep -q "^--shard auto: shard $index of 4, from SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT$" \
    "$base/log/task-$index.out" || fail "task $index did not take shard $index of 4 from Slurm"
  [ -f "$base/report-$index.json" ] || fail "task $index wrote no report"
done
diff -r "$base/single" "$base/sharded" >"$base/log/diff.out" 2>&1 ||
  fail "the shards' outputs differ from one run's: $(head -n 5 "$base/log/diff.out")"
"$cli" merge-reports "$base/merged.json" "$base"/report-{0,1,2,3}.json >"$base/log/merge.out" 2>&1 ||
  fail "merge-reports refused the four reports: $(cat "$base/log/merge.out")"
single_images=$(grep -c '"path":' "$base/single.json")
grep -q "^Merged 4 reports: $single_images images, 0 failed, 0 not processed.$" "$base/log/merge.out" ||
  fail "the merged set is not the unsharded run's $single_images images: $(cat "$base/log/merge.out")"
[ ! -e "$base/sharded/.hidden" ] && [ -d "$base/sharded/empty" ] || fail "the output tree is not the input's mirror"

echo "Slurm array of 4 shards over $single_images images: one unsharded run ${reference_time} s;" \
  "cluster up in ${cluster_up} s; array submitted, run and waited for in ${array_time} s;" \
  "whole test $(seconds_since "$started") s"
