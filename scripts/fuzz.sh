#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for SECONDS each, starting from its seed corpus.
# Usage: scripts/fuzz.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$1
seconds=${2:-20}
status=0
for target in "$build"/fuzz/*/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds="fuzz/$(basename "$(dirname "$target")")/corpus"
  # A target may keep its own seeds in corpus/<target name>.
  [ -d "$seeds/$name" ] && seeds="$seeds/$name"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "fuzzing $name for ${seconds}s"
  # One input running for a minute is a hang, whatever the target says.
  if ! "$target" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 "$work" >"$work.log" 2>&1; then
    tail -n 60 "$work.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|cov:' "$work.log" | tail -n 2 || true
  fi
  rm -rf "$work" "$work.log"
done
exit $status
