#!/usr/bin/env bash
# Payload copy speed: installing a payload of 100 files, 200 MB in all, with SetUp.exe under Wine,
# side by side in one run with `cp` of the same files on the host (same file system, warm caches
# for both). SetUp.exe is timed by the scenario driver from the press of "安  装" to the finished
# page ("安装完成" shown): the whole installation, registration and support files included.
# Runs alternate; the medians must stay within --max-ratio (default 1.5).
#
# Usage: scripts/bench-install.sh [--runs N] [--max-ratio R]
# Not part of scripts/test.sh: timings on a shared machine are for reading, not for gating CI.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/scenario-lib.sh
. scripts/scenario-lib.sh

runs=5
max_ratio=1.5
while (($#)); do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --max-ratio) max_ratio=$2; shift 2 ;;
    *) echo "bench-install: unknown option $1" >&2; exit 2 ;;
  esac
done
build=build/win64
work=$root/build/bench-install
say() { echo "bench-install: $*"; }
die() { echo "bench-install: $*" >&2; exit 1; }

[ -f "$build/CMakeCache.txt" ] || cmake --preset win64 >/dev/null || die "configure failed"
cmake --build "$build" -j2 --target SetUp driver >/dev/null || die "build failed"
SCN_DRIVER_EXE=$build/tests/wine/driver.exe

rm -rf "$work"
mkdir -p "$work/payload"
# 100 files of 2 MiB, incompressible, named like nothing the installer treats specially.
files=${BENCH_FILES:-100}
for i in $(seq -w 1 "$files"); do head -c "${BENCH_FILE_BYTES:-2097152}" /dev/urandom >"$work/payload/module-$i.bin"; done
say "payload: $(ls "$work/payload" | wc -l) files, $(du -sm "$work/payload" | cut -f1) MB"

export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wine_ensure_locale zh_CN.UTF-8 || true
wine_base_prefix >/dev/null || die "no base Wine prefix"
wine_xvfb_start 1024x768x24 || die "Xvfb did not start"
trap 'wine_xvfb_stop' EXIT
prefix=$(scn_new_prefix "$work/prefix") || die "no prefix"
wine_reg_import "$prefix" tests/fixtures/registry/two-releases.reg
scn_make_acad_dir "$prefix" 'C:\Program Files\Autodesk\AutoCAD 2010'
scn_make_acad_dir "$prefix" 'C:\Program Files\Autodesk\AutoCAD 2022'
scn_place_setup "$prefix" data "$build/src/SetUp.exe" "$work/payload" 'C:\Setup' || die "placing SetUp.exe failed"
data_dir=$(scn_unix_path "$prefix" 'C:\Setup\Data')
install_dir=$(scn_unix_path "$prefix" 'C:\Vornex')

cat >"$work/install.steps" <<'STEPS'
wait-window "V-批打印软件安装" 30
poll 2
stopwatch start
click-async 1022
wait-control 1 visible enabled 120
stopwatch lap install
click-async 1
wait-exit 20 expect 0
STEPS

now_ms() { date +%s%3N; }
cp_times=()
wine_times=()
for run in $(seq 1 "$runs"); do
  rm -rf "$work/cp-target" "$install_dir"
  sync
  t0=$(now_ms)
  mkdir -p "$work/cp-target" && cp "$data_dir"/* "$work/cp-target/"
  t1=$(now_ms)
  cp_times+=($((t1 - t0)))
  sync
  scn_driver "$prefix" 180 "$work/driver-$run.log" --exe 'C:\Setup\SetUp.exe' --cwd 'C:\Setup' \
    --script "$(wine_path "$work/install.steps")" || { cat "$work/driver-$run.log"; die "the installation did not finish"; }
  ms=$(sed -n 's/^.*stopwatch install \([0-9]*\) ms.*$/\1/p' "$work/driver-$run.log" | head -n 1)
  [ -n "$ms" ] || die "no stopwatch reading in $work/driver-$run.log"
  copied=$(ls "$install_dir/V-ZurezUvad" | wc -l)
  [ "$copied" -eq "$files" ] || die "run $run: $copied of $files files installed"
  wine_times+=("$ms")
  say "run $run: cp ${cp_times[-1]} ms, SetUp.exe ${ms} ms"
done
wine_stop_prefix "$prefix"

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
cp_med=$(median "${cp_times[@]}")
wine_med=$(median "${wine_times[@]}")
ratio=$(awk -v a="$wine_med" -v b="$cp_med" 'BEGIN {printf "%.2f", a / b}')
say "median: cp $cp_med ms, SetUp.exe $wine_med ms, ratio $ratio (limit $max_ratio)"
awk -v r="$ratio" -v m="$max_ratio" 'BEGIN {exit !(r <= m)}'
