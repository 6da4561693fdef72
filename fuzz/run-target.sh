#!/usr/bin/env bash
# run-target.sh FUZZER SECONDS SEED_DIR WORK_DIR: fuzzes for SECONDS from the
# kept seeds; new inputs and any crash go to WORK_DIR, never to the seeds.
set -euo pipefail
fuzzer=$1 seconds=$2 seeds=$3 work=$4
mkdir -p "$work/corpus"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
  -artifact_prefix="$work/" -print_final_stats=1 "$work/corpus" "$seeds" 2>"$work/fuzz.log" || {
  tail -60 "$work/fuzz.log"
  echo "crash input kept in $work; add it to $seeds as a regression case"
  exit 1
}
grep -E '^stat::(number_of_executed_units|new_units_added)' "$work/fuzz.log" || true
