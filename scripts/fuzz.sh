#!/usr/bin/env bash
# Runs every fuzzer of a VELTRAW_FUZZ build for a while, each from a scratch
# copy of its committed corpus and regression inputs: the repository is never
# written. A fuzzer that finds anything fails the run, and the input is
# printed in base64, to be replayed with
#   base64 -d > input <<< BASE64 && fuzz_<name> input
# and, once fixed, kept as fuzz/regressions/fuzz_<name>/<what-it-does>.
#
# Usage: fuzz.sh FUZZER_DIR [SECONDS] [WORK_DIR]
set -euo pipefail
shopt -s nullglob
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$1" && pwd)
seconds=${2:-${VELTRAW_FUZZ_SECONDS:-30}}
work=${3:-$bin/work}
mkdir -p "$work"
work=$(cd "$work" && pwd)

failed=()
for fuzzer in "$bin"/fuzz_*; do
  [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  dir=$work/$name
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/findings"
  for seed in "$root/fuzz/corpus/$name"/*; do cp "$seed" "$dir/corpus/"; done
  for seed in "$root/fuzz/regressions/$name"/*; do
    cp "$seed" "$dir/corpus/regression-$(basename "$seed")"
  done

  echo "-- $name"
  # A unit that runs for 20 s is a hang, not a slow machine.
  if (cd "$dir" && "$fuzzer" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/" corpus >"$dir/log" 2>&1); then
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec)' "$dir/log" || true
    continue
  fi
  failed+=("$name")
  tail -n 60 "$dir/log" || true
  for finding in "$dir"/findings/*; do
    echo "== $name: $(basename "$finding"), base64:"
    base64 -w0 "$finding"
    echo
  done
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzers with findings: ${failed[*]} (logs and inputs in $work)" >&2
  exit 1
fi
