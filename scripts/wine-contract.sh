#!/usr/bin/env bash
# The platform contract tests against the real Win32 API under Wine: contract_tests.exe runs in a
# fresh copy of the base prefix, once with Simplified Chinese (ANSI code page 936) and once with
# US English (code page 1252). Exits non-zero when either run fails.
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
cmake --build "$build" -j "$jobs" --target contract_tests >/dev/null || {
  echo "wine-contract: building contract_tests failed" >&2
  cmake --build "$build" -j 1 --target contract_tests 2>&1 | grep -E 'error|Error' | head -20 >&2
  exit 1
}
exe=$(readlink -f "$build/tests/contract_tests.exe")

failed=()
for locale in zh_CN.UTF-8 en_US.UTF-8; do
  wine_ensure_locale "$locale" || exit 1
  name=contract-${locale%%.*}
  prefix=$(wine_new_prefix "$WINE_CACHE_DIR/$name") || exit 1
  log=$WINE_CACHE_DIR/$name.log
  echo "==== contract tests under Wine, $locale"
  rc=0
  LANG=$locale LC_ALL=$locale wine_run "$prefix" 300 "$exe" --gtest_color=no "$@" >"$log" 2>&1 || rc=$?
  wine_stop_prefix "$prefix"
  rm -rf "$prefix"
  # Passing tests are one line each in the log; show the rest: skips with their reasons,
  # failures with their messages, and the summary.
  grep -v -E '^\[ RUN      \]|^\[       OK \]' "$log"
  if [ "$rc" -ne 0 ] || ! grep -q '^\[  PASSED  \]' "$log"; then
    echo "==== $locale: FAILED (exit code $rc; full log in $log)"
    failed+=("$locale")
  fi
done

echo "==== contract tests under Wine: $((SECONDS - started)) s"
if ((${#failed[@]})); then
  echo "failed under: ${failed[*]}"
  exit 1
fi
