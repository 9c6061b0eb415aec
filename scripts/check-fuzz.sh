#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, ASan, UBSan) and runs each for a fixed time
# from a copy of its seed corpus in fuzz/corpus/, so the repository's seeds stay as they are.
# Fails on any crash, sanitizer report or broken property; prints executions and time per target.
# Usage: scripts/check-fuzz.sh [seconds per target]   (default 20; FUZZ_SECONDS works too)
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${FUZZ_SECONDS:-20}}
jobs=${JOBS:-2}
targets=(path_rules trusted_paths text reg_loader)

cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz -j "$jobs" --target "${targets[@]/#/fuzz_}" >/dev/null || {
  echo "fuzz build failed"; exit 1; }

work=build/fuzz/run
rm -rf "$work"
mkdir -p "$work"
failed=0
printf '%-15s %12s %8s %10s  %s\n' target executions seconds "exec/s" result
for t in "${targets[@]}"; do
  corpus=$work/$t/corpus
  mkdir -p "$corpus" "$work/$t/artifacts"
  cp fuzz/corpus/"$t"/* "$corpus"/
  log=$work/$t/log
  # -timeout: one input taking over 10 s is a hang; -rss_limit_mb: an input that eats memory.
  build/fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/$t/artifacts/" "$corpus" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  artifacts=$(find "$work/$t/artifacts" -type f | wc -l)
  if [ "$rc" -eq 0 ] && [ "$artifacts" -eq 0 ] && [ -n "$took" ]; then
    result=ok
  else
    result="FAILED (exit $rc)"
    failed=1
  fi
  rate=-
  [ -n "$took" ] && [ "${took:-0}" -gt 0 ] && rate=$(( ${runs:-0} / took ))
  printf '%-15s %12s %8s %10s  %s\n' "$t" "${runs:-?}" "${took:-?}" "$rate" "$result"
  if [ "$result" != ok ]; then
    grep -E 'property failed|ERROR|SUMMARY|runtime error' "$log" | head -5 | sed 's/^/    /'
    find "$work/$t/artifacts" -type f | sed 's/^/    input kept: /'
  fi
done
[ "$failed" -eq 0 ]
