#!/usr/bin/env bash
# needs: slurmctld slurmd slurm-client munge (run as root)
# The README's Slurm job array on a real, one-node Slurm cluster: the
# installed cellport-batch, four tasks sharing one tree of images, convert
# every image exactly once, and a second submission converts nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=$repo/build
unset LD_LIBRARY_PATH
[ "$(id -u)" = 0 ] || { echo "slurm check: run it as root" >&2; exit 1; }
[ -x "$build/cellport-batch" ] || { echo "slurm check: no build in $build" >&2; exit 1; }

scratch=$(mktemp -d)
daemons=()
stop() {
  local pid
  for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${daemons[@]}"; do
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$scratch"
}
trap stop EXIT

fail() {
  echo "slurm check failed: $*" >&2
  for log in "$scratch"/*.out; do tail -n 20 "$log" >&2; done
  exit 1
}

node=$(hostname -s)
mkdir -p "$scratch"/{munge,state,spool,work}
chmod 700 "$scratch/munge"
sed -e "s|@NODE@|$node|g" -e "s|@CPUS@|$(nproc)|g" -e "s|@SCRATCH@|$scratch|g" \
  -e "s|@CTLD_PORT@|${SLURM_CHECK_PORT:-6817}|g" -e "s|@D_PORT@|$((${SLURM_CHECK_PORT:-6817} + 1))|g" \
  .ci/slurm/slurm.conf.in >"$scratch/slurm.conf"
export SLURM_CONF=$scratch/slurm.conf

echo "== munge and a one-node Slurm on $node"
munged --foreground --force --key-file=/etc/munge/munge.key --socket="$scratch/munge/socket" \
  --pid-file="$scratch/munge/pid" --log-file="$scratch/munge/log" --seed-file="$scratch/munge/seed" \
  >"$scratch/munged.out" 2>&1 &
daemons+=($!)
for _ in $(seq 100); do [ -S "$scratch/munge/socket" ] && break; sleep 0.1; done
slurmctld -D -f "$SLURM_CONF" >"$scratch/slurmctld.out" 2>&1 &
daemons+=($!)
slurmd -D -f "$SLURM_CONF" >"$scratch/slurmd.out" 2>&1 &
daemons+=($!)
for _ in $(seq 300); do
  sinfo -h -N -o %t 2>/dev/null | grep -qx idle && break
  sleep 0.2
done
sinfo -h -N -o %t | grep -qx idle || fail "the node did not come up"

echo "== the installed commands"
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null

# 40 images in nested folders, from the examples.
images=$scratch/shared/images
for folder in 2019 2020/jan 2020/feb 2021/q1/north 2021/q1/south; do
  for copy in a b; do
    for header in examples/*.doc; do
      name=$(basename "$header" .doc)
      mkdir -p "$images/$folder"
      cp "$header" "$images/$folder/$name-$copy.doc"
      cp "examples/$name.img" "$images/$folder/$name-$copy.img"
    done
  done
done
total=$(find "$images" -name '*.doc' | wc -l)

# The README's job array, with the shared folders of this check.
cat >"$scratch/job.sh" <<EOF
#!/bin/sh
#SBATCH --array=0-3
#SBATCH --output=$scratch/work/task-%a.out
cellport-batch --shard "\$SLURM_ARRAY_TASK_ID/\$SLURM_ARRAY_TASK_COUNT" --log "batch-\$SLURM_ARRAY_TASK_ID.log" $scratch/shared/images $scratch/shared/grids
EOF

submit() {
  (cd "$scratch/work" && PATH="$scratch/prefix/bin:/usr/bin:/bin" timeout 180 sbatch --wait --quiet "$scratch/job.sh") ||
    fail "the job array failed: $(cat "$scratch"/work/task-*.out)"
}
count() { cat "$scratch"/work/batch-*.log | awk -F '\t' -v outcome="$1" '$3 == outcome' | wc -l; }

echo "== $total images, 4 tasks"
submit
[ "$(ls "$scratch"/work/batch-*.log | wc -l)" = 4 ] || fail "not every task wrote its log"
[ "$(count converted)" = "$total" ] || fail "$(count converted) of $total images converted"
twice=$(cat "$scratch"/work/batch-*.log | cut -f 1 | sort | uniq -d)
[ -z "$twice" ] || fail "converted more than once: $twice"
[ "$(find "$scratch/shared/grids" -name cells.hdr | wc -l)" = "$total" ] || fail "not every grid is there"

echo "== again: nothing to convert"
submit
[ "$(count converted)" = "$total" ] || fail "the second submission converted again"
[ "$(count kept)" = "$total" ] || fail "$(count kept) of $total grids kept"
[ "$(count failed)" = 0 ] || fail "failures: $(cat "$scratch"/work/batch-*.log | grep -P '\tfailed\t')"

echo "slurm check: $total images converted once by 4 tasks, kept by the second submission"
