#!/usr/bin/env bash
# The platform contract tests against the real Win32 API under Wine: contract_tests.exe runs in a
# fresh copy of the base prefix, once with Simplified Chinese (ANSI code page 936) and once with
# US English (code page 1252); under Chinese the host's code page 936 text tests run against the
# Win32 text module as well. Exits non-zero when any run fails.
# Usage: scripts/wine-contract.sh [gtest options, e.g. --gtest_filter=Registry*]
# Environment: BUILD_DIR (default build/win64, the win64 preset's folder), JOBS (default 2).
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-lib.sh

build=${BUILD_DIR:-build/win64}
jobs=${JOBS:-2}
started=$SECONDS

if [ "$build" = build/win64 ]; then
  cmake --preset win64 >/dev/null || exit 1
else
  cmake -S . -B "$build" --toolchain cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null || exit 1
fi
targets=(contract_tests text_tests_cp936)
cmake --build "$build" -j "$jobs" --target "${targets[@]}" >/dev/null || {
  echo "wine-contract: building ${targets[*]} failed" >&2
  cmake --build "$build" -j 1 --target "${targets[@]}" 2>&1 | grep -E 'error|Error' | head -20 >&2
  exit 1
}

# Runs one test program in a prefix; prints what matters and records a failure.
failed=()
run_suite() {
  local prefix=$1 locale=$2 program=$3
  shift 3
  local exe log rc=0
  exe=$(readlink -f "$build/tests/$program.exe")
  log=$WINE_CACHE_DIR/$program-${locale%%.*}.log
  echo "==== $program under Wine, $locale"
  LANG=$locale LC_ALL=$locale wine_run "$prefix" 300 "$exe" --gtest_color=no "$@" >"$log" 2>&1 || rc=$?
  # Passing tests are one line each in the log; show the rest: skips with their reasons,
  # failures with their messages, and the summary.
  grep -a -v -E '^\[ RUN      \]|^\[       OK \]' "$log"
  if [ "$rc" -ne 0 ] || ! grep -a -q '^\[  PASSED  \]' "$log"; then
    echo "==== $program, $locale: FAILED (exit code $rc; full log in $log)"
    failed+=("$program/$locale")
  fi
}

for locale in zh_CN.UTF-8 en_US.UTF-8; do
  wine_ensure_locale "$locale" || exit 1
  prefix=$(wine_new_prefix "$WINE_CACHE_DIR/contract-${locale%%.*}") || exit 1
  run_suite "$prefix" "$locale" contract_tests "$@"
  [ "$locale" = zh_CN.UTF-8 ] && [ $# -eq 0 ] && run_suite "$prefix" "$locale" text_tests_cp936
  wine_stop_prefix "$prefix"
  rm -rf "$prefix"
done

echo "==== contract tests under Wine: $((SECONDS - started)) s"
if ((${#failed[@]})); then
  echo "failed under: ${failed[*]}"
  exit 1
fi
