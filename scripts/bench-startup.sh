#!/usr/bin/env bash
# Start-up time of SetUp.exe under Wine, side by side with minimal dialog programs built the same
# way (bench/startup): launch to dialog shown, taken by bench/startup/startup_timer.exe with
# QueryPerformanceCounter from CreateProcess to the first visible window with the dialog's caption
# (polled every millisecond), then WM_CLOSE. The two minimal programs show a dialog from a template
# and do nothing else:
#   template_dialog  SetUp.exe's own dialog template (the one the installer must show): against it
#                    SetUp.exe's own start-up work (catalogue scan, filling the dialog, its DLLs)
#                    is what remains
#   minimal_dialog   a two-control dialog of the same style, font and manifest: against it, what
#                    SetUp.exe's dialog itself costs to show is counted in as well
# The programs take turns, N runs each after two warm-up runs each, all in one Wine session with a
# warm wineserver.
#
#   demo machine   the demo registry (tests/fixtures/demo) and payload: SetUp.exe must stay within
#                  --max-ratio (default 1.2) of template_dialog's median, or the script fails; the
#                  ratio to minimal_dialog is reported beside it
#   full machine   every AutoCAD release 2007-2026 installed, several products each
#                  (bench/gen_full_machine.py): the catalogue scan at its largest; SetUp.exe must
#                  stay within --max-full-ratio (default 1.1) of template_dialog's median here
# On each machine bench/startup/scan_timer.exe also times the catalogue scan alone against Wine's
# registry, taking turns with a bare walk of the same keys on the ANSI registry API (medians of 101
# runs each); the scan must stay within --max-scan-ratio (default 1.5) of the walk.
#
# Usage: scripts/bench-startup.sh [--runs N] [--max-ratio R] [--max-full-ratio F] [--max-scan-ratio S] [--demo-only]
# Environment: BUILD_DIR (SetUp.exe's build, default build/win64), BENCH_DIR (default
# build/bench-startup: the benchmark's programs, prefixes and report, startup.txt).
# Not part of scripts/test.sh: timings on a shared machine are for reading, not for gating CI.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/scenario-lib.sh
. scripts/scenario-lib.sh

runs=15
max_ratio=1.2
max_full_ratio=1.1
max_scan_ratio=1.5
full=1
while (($#)); do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --max-ratio) max_ratio=$2; shift 2 ;;
    --max-scan-ratio) max_scan_ratio=$2; shift 2 ;;
    --max-full-ratio) max_full_ratio=$2; shift 2 ;;
    --demo-only) full=0; shift ;;
    -h | --help) sed -n '2,29p' "$0"; exit 0 ;;
    *) echo "bench-startup: unknown option $1" >&2; exit 2 ;;
  esac
done
build=${BUILD_DIR:-build/win64}
bench=${BENCH_DIR:-$root/build/bench-startup}
mkdir -p "$bench"
bench=$(cd "$bench" && pwd)
report=$bench/startup.txt
say() { echo "bench-startup: $*"; }
die() { echo "bench-startup: $*" >&2; exit 1; }

# ------------------------------------------------------------------ build
say "building SetUp.exe ($build) and the benchmark programs ($bench/programs)"
if [ "$build" = build/win64 ]; then
  cmake --preset win64 >"$bench/build.log" 2>&1 || { cat "$bench/build.log"; die "configure failed"; }
elif [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" --toolchain cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel >"$bench/build.log" 2>&1 ||
    { cat "$bench/build.log"; die "configure failed"; }
fi
cmake --build "$build" -j2 --target SetUp >>"$bench/build.log" 2>&1 || { tail -30 "$bench/build.log"; die "building SetUp.exe failed"; }
cmake -S bench/startup -B "$bench/programs" --toolchain "$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")" >>"$bench/build.log" 2>&1 &&
  cmake --build "$bench/programs" -j2 >>"$bench/build.log" 2>&1 || { tail -30 "$bench/build.log"; die "building bench/startup failed"; }
setup_exe=$build/src/SetUp.exe
minimal_exe=$bench/programs/minimal_dialog.exe
template_exe=$bench/programs/template_dialog.exe
timer_exe=$bench/programs/startup_timer.exe
scan_exe=$bench/programs/scan_timer.exe
python3 bench/gen_full_machine.py "$bench/full-machine.reg" >/dev/null || die "cannot make the full machine"

# ------------------------------------------------------------------ one machine, one timed session
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wine_ensure_locale "$LANG" || die "no locale $LANG"
# The dialogs' captions, and a control that only the dialog has (a message box may share the caption):
# SetUp.exe's title (IDC_TITLE, src/ui/res/resource.h) and the baseline's text.
setup_caption="V-批打印软件安装"
setup_control=1013
minimal_caption="最小对话框"
minimal_control=1001

prefix=
cleanup() {
  [ -n "$prefix" ] && wine_stop_prefix "$prefix"
  wine_xvfb_stop
}
trap cleanup EXIT
wine_xvfb_start || die "Xvfb did not start"

# The AutoCAD folders named by the AcadLocation values of .reg files.
acad_locations() {
  sed -n 's/^"AcadLocation"="\(.*\)"\r\?$/\1/p' "$@" | sed 's/\\\\/\\/g; s/\\$//' | sort -u
}

time_machine() {  # label max-ratio reg-files...
  local label=$1 limit=$2
  shift 2
  say "$label machine: preparing the prefix"
  prefix=$(scn_new_prefix "$bench/prefix-$label") || die "no Wine prefix"
  wine_reg_import "$prefix" "$@" || die "cannot import $*"
  local dir
  while IFS= read -r dir; do scn_make_acad_dir "$prefix" "$dir"; done < <(acad_locations "$@")
  scn_place_setup "$prefix" data "$setup_exe" demo/payload 'C:\Bench\Vornex' || die "cannot place SetUp.exe"
  mkdir -p "$prefix/drive_c/Bench/Minimal"
  cp "$minimal_exe" "$template_exe" "$prefix/drive_c/Bench/Minimal/" && cp "$timer_exe" "$scan_exe" "$prefix/drive_c/Bench/" ||
    die "cannot place the benchmark programs"

  # A warm wineserver: kept running between programs (-p), and a first program run through it so
  # that the desktop, services and the shared DLLs are up before anything is timed.
  WINEPREFIX=$prefix "$WINESERVER" -p >/dev/null 2>&1
  WINEPREFIX=$prefix timeout 60 "$WINE" cmd /c exit >/dev/null 2>&1

  say "$label machine: $runs runs each, alternating (this takes a minute or two)"
  local rc=0 out=$bench/timer-$label.txt
  WINEPREFIX=$prefix timeout -k 5 900 "$WINE" 'C:\Bench\startup_timer.exe' --runs "$runs" --warmup 2 \
    --max-ratio "$limit" \
    SetUp.exe 'C:\Bench\Vornex\SetUp.exe' "$setup_caption" "$setup_control" \
    template_dialog 'C:\Bench\Minimal\template_dialog.exe' "$setup_caption" "$setup_control" \
    minimal_dialog 'C:\Bench\Minimal\minimal_dialog.exe' "$minimal_caption" "$minimal_control" >"$out" 2>&1 || rc=$?
  WINEPREFIX=$prefix timeout -k 5 300 "$WINE" 'C:\Bench\scan_timer.exe' --max-ratio "$max_scan_ratio" >>"$out" 2>&1 ||
    { [ "$rc" -eq 0 ] && rc=4; }
  { echo "== $label machine"; tr -d '\r' <"$out"; echo; } | tee -a "$report"
  wine_stop_prefix "$prefix"
  prefix=
  return "$rc"
}

{
  echo "SetUp.exe start-up under $(wine_version), $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores"
  echo "SetUp.exe $(stat -c %s "$setup_exe") bytes, minimal_dialog.exe $(stat -c %s "$minimal_exe") bytes," \
    "template_dialog.exe $(stat -c %s "$template_exe") bytes; load average $(cut -d' ' -f1-3 /proc/loadavg)"
  echo
} >"$report"
time_machine demo "$max_ratio" tests/fixtures/demo/*.reg
demo_rc=$?
full_rc=0
if ((full)); then
  time_machine full "$max_full_ratio" "$bench/full-machine.reg"
  full_rc=$?
fi

say "report: $report"
verdict() {  # label limit rc
  case $3 in
    0) say "$1 machine: SetUp.exe within ${2}x of its dialog shown by a do-nothing program," \
         "the scan within ${max_scan_ratio}x of a bare walk" ;;
    3) say "$1 machine: SetUp.exe is slower than ${2}x its dialog shown by a do-nothing program"; return 1 ;;
    4) say "$1 machine: the scan is slower than ${max_scan_ratio}x a bare walk of the same keys"; return 1 ;;
    *) say "$1 machine: the timed runs failed (exit code $3)"; return 1 ;;
  esac
}
ok=0
verdict demo "$max_ratio" "$demo_rc" || ok=1
((full)) && { verdict full "$max_full_ratio" "$full_rc" || ok=1; }
exit "$ok"
