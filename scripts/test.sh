#!/usr/bin/env bash
# The whole test suite: host unit tests (plain and under ASan/UBSan), the Windows build,
# the platform contract tests under Wine, and the scenarios that drive SetUp.exe under Wine.
# Usage: scripts/test.sh [--quick]   (--quick: host tests only)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# Whatever the build, the tests or Wine need and this machine lacks is installed first (quick
# when all is there; needs root or sudo the first time).
bash scripts/install-deps.sh || { echo "$(basename "$0"): could not install the packages it needs" >&2; exit 1; }
jobs=${JOBS:-$(nproc)}
quick=0
[ "${1:-}" = "--quick" ] && quick=1

passed=0
failed=0
failures=()
step() {
  local name=$1; shift
  echo
  echo "==== $name"
  local t0=$SECONDS
  if "$@"; then
    passed=$((passed + 1)); echo "==== $name: ok ($((SECONDS - t0)) s)"
  else
    failed=$((failed + 1)); failures+=("$name"); echo "==== $name: FAILED ($((SECONDS - t0)) s)"
  fi
}

host_suite() {
  local preset=$1
  cmake --preset "$preset" >/dev/null &&
  cmake --build --preset "$preset" -j "$jobs" &&
  ctest --preset "$preset" -j "$jobs"
}

step "host tests" host_suite host
if [ "$quick" -eq 0 ]; then
  step "host tests under ASan and UBSan" host_suite asan
  step "Windows build (MinGW-w64)" bash -c 'cmake --preset win64 >/dev/null && cmake --build --preset win64 -j '"$jobs"
  for extra in scripts/check-*.sh; do
    [ -f "$extra" ] && step "$(basename "$extra" .sh)" bash "$extra"
  done
  [ -f scripts/wine-contract.sh ] && step "contract tests under Wine" bash scripts/wine-contract.sh
  [ -f scripts/scenarios.sh ] && step "scenarios under Wine" bash scripts/scenarios.sh
fi

echo
if ((failed)); then
  echo "Failed: ${failures[*]}"
fi
echo "test steps: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
