#!/usr/bin/env bash
# Installation speed under Wine: a payload of 100 files, 200 MB in all, installed by SetUp.exe's
# unattended mode, side by side in one run with the floor and the host:
#   SetUp.exe /S    the whole unattended installation (catalogue scan, folders, copy, registration
#                   for two releases, log), timed from just before CreateProcess to the exit by
#                   bench/install/run_timer.exe
#   manifest        the same, by a SetUp.exe that carries the payload's manifest (as a release
#                   does: scripts/add-manifest.py) and so hashes every file, as its copy reads it
#   CopyFileA loop  bench/install/copy_loop.exe, a do-nothing program built as SetUp.exe is that
#                   copies the same files with CopyFileA, timed the same way: the floor any Win32
#                   program meets under Wine
#   cp              the same files copied on the host (same file system)
#   dialog          for comparison, the setup dialog's installation, timed by the scenario driver
#                   (polling every 2 ms) from the press of "安  装" to the finished page
#   upgrade         SetUp.exe /S over an earlier installation of files of the same names and other
#                   content (made, untimed, by the same SetUp.exe from another payload just before):
#                   every file replaced, each first moved aside for a rollback
#   loop over       the CopyFileA loop copying over the same earlier files, laid down the same way
# They take turns, their order reversed from round to round, after one warm-up round, all in one
# Wine session with a warm wineserver; every target is removed and the caches flushed before each
# copy. The script fails when SetUp.exe /S's median passes --max-ratio (default 1.15) times the
# loop's: that is what SetUp.exe adds to copying the files; or when the one with a manifest passes
# --max-manifest-ratio (default 1.3) times it; or when the upgrade's passes --max-upgrade-ratio
# (default 1.25) times the loop over existing files.
#
# Usage: scripts/bench-install.sh [--runs N (default 9)] [--max-ratio R] [--max-manifest-ratio R]
#                                 [--max-upgrade-ratio R]
# Environment: BENCH_FILES (default 100), BENCH_FILE_BYTES (default 2097152).
# Not part of scripts/test.sh: timings on a shared machine are for reading, not for gating CI.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/scenario-lib.sh
. scripts/scenario-lib.sh

runs=9
max_ratio=1.15
max_manifest_ratio=1.3
max_upgrade_ratio=1.25
while (($#)); do
  case $1 in
    --max-manifest-ratio) max_manifest_ratio=$2; shift 2 ;;
    --max-upgrade-ratio) max_upgrade_ratio=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --max-ratio) max_ratio=$2; shift 2 ;;
    -h | --help) sed -n '2,29p' "$0"; exit 0 ;;
    *) echo "bench-install: unknown option $1" >&2; exit 2 ;;
  esac
done
build=build/win64
work=$root/build/bench-install
say() { echo "bench-install: $*"; }
die() { echo "bench-install: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/payload" "$work/payload-old"
[ -f "$build/CMakeCache.txt" ] || cmake --preset win64 >"$work/build.log" 2>&1 || die "configure failed"
cmake --build "$build" -j2 --target SetUp driver >>"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; die "build failed"; }
cmake -S bench/install -B "$work/programs" --toolchain "$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")" >>"$work/build.log" 2>&1 &&
  cmake --build "$work/programs" -j2 >>"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; die "building bench/install failed"; }
SCN_DRIVER_EXE=$build/tests/wine/driver.exe

# 100 files of 2 MiB, incompressible, named like nothing the installer treats specially.
files=${BENCH_FILES:-100}
for i in $(seq -w 1 "$files"); do head -c "${BENCH_FILE_BYTES:-2097152}" /dev/urandom >"$work/payload/module-$i.bin"; done
# The earlier version the upgrade replaces: the same names, other bytes.
for i in $(seq -w 1 "$files"); do head -c "${BENCH_FILE_BYTES:-2097152}" /dev/urandom >"$work/payload-old/module-$i.bin"; done
say "payload: $(ls "$work/payload" | wc -l) files, $(du -sm "$work/payload" | cut -f1) MB"

export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wine_ensure_locale zh_CN.UTF-8 || true
wine_base_prefix >/dev/null || die "no base Wine prefix"
wine_xvfb_start 1024x768x24 || die "Xvfb did not start"
prefix=$(scn_new_prefix "$work/prefix") || die "no prefix"
trap 'wine_stop_prefix "$prefix"; wine_xvfb_stop' EXIT
wine_reg_import "$prefix" tests/fixtures/registry/two-releases.reg
scn_make_acad_dir "$prefix" 'C:\Program Files\Autodesk\AutoCAD 2010'
scn_make_acad_dir "$prefix" 'C:\Program Files\Autodesk\AutoCAD 2022'
scn_place_setup "$prefix" data "$build/src/SetUp.exe" "$work/payload" 'C:\Setup' || die "placing SetUp.exe failed"
# The same SetUp.exe with the payload's manifest, beside a copy of the same payload.
{
  echo "Vornex payload manifest 1"
  for f in "$work/payload"/*; do
    printf '%s %s %s\n' "$(sha256sum <"$f" | cut -c1-64)" "$(stat -c %s "$f")" "$(basename "$f")"
  done
} >"$work/manifest.txt"
python3 scripts/add-manifest.py "$build/src/SetUp.exe" "$work/manifest.txt" "$work/SetUp-manifest.exe" ||
  die "adding the manifest failed"
scn_place_setup "$prefix" data "$work/SetUp-manifest.exe" "$work/payload" 'C:\SetupM' || die "placing SetUp.exe failed"
scn_place_setup "$prefix" data "$build/src/SetUp.exe" "$work/payload-old" 'C:\SetupOld' || die "placing SetUp.exe failed"
bench_dir=$(scn_unix_path "$prefix" 'C:\Bench')
mkdir -p "$bench_dir" && cp "$work/programs/copy_loop.exe" "$work/programs/run_timer.exe" "$bench_dir/"
data_dir=$(scn_unix_path "$prefix" 'C:\Setup\Data')
install_dir=$(scn_unix_path "$prefix" 'C:\Vornex')
loop_dir=$(scn_unix_path "$prefix" 'C:\Loop')
# One Wine session for every run: the server and its services stay up between the programs.
WINEPREFIX=$prefix "$WINESERVER" -p

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
# Counts the files a copy left in a host folder; the run fails unless all of them are there.
expect_files() {
  local dir=$1 what=$2 copied
  copied=$(find "$dir" -maxdepth 1 -type f -name 'module-*.bin' 2>/dev/null | wc -l)
  [ "$copied" -eq "$files" ] || die "$what: $copied of $files files copied"
}
# After an upgrade, the new files, not the earlier ones, are there.
expect_new() {
  local dir=$1 what=$2 name
  for name in module-$(seq -w 1 "$files" | head -n 1).bin module-$(seq -w 1 "$files" | tail -n 1).bin; do
    cmp -s "$work/payload/$name" "$dir/$name" || die "$what: $name is not the new file"
  done
}
# Lays down the earlier files (untimed), then times the command that replaces them and checks that
# every file is there and new: what, target to clear, folder checked, earlier's folder and command,
# the timed one's folder and command.
timed_over_earlier() {
  local what=$1 ms
  rm -rf "$2"
  timed_wine "the earlier files for $what" "$4" "$5" >/dev/null || return 1
  sync
  ms=$(timed_wine "$what" "$6" "$7") || return 1
  expect_files "$3" "$what"
  expect_new "$3" "$what"
  echo "$ms"
}
# run_timer's reading of a Windows command: prints the milliseconds, fails unless the exit code is 0.
timed_wine() {
  local what=$1 folder=$2 command=$3 out
  # Into a file, not a pipe: Wine's session services, started by the first program and kept up by
  # the persistent server, inherit its output and would hold a pipe open for ever.
  WINEPREFIX=$prefix timeout -k 5 600 "$WINE" 'C:\Bench\run_timer.exe' "$folder" "$command" >"$work/timer.out" 2>&1
  out=$(cat "$work/timer.out")
  [[ $out =~ elapsed\ ([0-9.]+)\ ms\ exit\ ([0-9]+) ]] || die "$what: no reading from run_timer: $out"
  [ "${BASH_REMATCH[2]}" -eq 0 ] || die "$what: exit code ${BASH_REMATCH[2]}"
  printf '%.0f\n' "${BASH_REMATCH[1]}"
}

measure() {
  local what=$1 ms
  case $what in
    cp)
      rm -rf "$work/cp-target"; sync
      local t0 t1
      t0=$(now_ms)
      mkdir -p "$work/cp-target" && cp "$data_dir"/* "$work/cp-target/"
      t1=$(now_ms)
      ms=$((t1 - t0))
      expect_files "$work/cp-target" cp
      ;;
    loop)
      rm -rf "$loop_dir"; sync
      ms=$(timed_wine "CopyFileA loop" 'C:\Bench' '"C:\Bench\copy_loop.exe" C:\Setup\Data C:\Loop') || exit 1
      expect_files "$loop_dir" "CopyFileA loop"
      ;;
    unattended)
      rm -rf "$install_dir"; sync
      ms=$(timed_wine "SetUp.exe /S" 'C:\Setup' '"C:\Setup\SetUp.exe" /S') || exit 1
      expect_files "$install_dir/V-ZurezUvad" "SetUp.exe /S"
      ;;
    manifest)
      rm -rf "$install_dir"; sync
      ms=$(timed_wine "SetUp.exe /S with a manifest" 'C:\SetupM' '"C:\SetupM\SetUp.exe" /S') || exit 1
      expect_files "$install_dir/V-ZurezUvad" "SetUp.exe /S with a manifest"
      ;;
    upgrade)
      ms=$(timed_over_earlier "SetUp.exe /S over an earlier installation" "$install_dir" "$install_dir/V-ZurezUvad" \
             'C:\SetupOld' '"C:\SetupOld\SetUp.exe" /S' 'C:\Setup' '"C:\Setup\SetUp.exe" /S') || exit 1
      ;;
    loopover)
      ms=$(timed_over_earlier "CopyFileA loop over existing files" "$loop_dir" "$loop_dir" \
             'C:\Bench' '"C:\Bench\copy_loop.exe" C:\SetupOld\Data C:\Loop' \
             'C:\Bench' '"C:\Bench\copy_loop.exe" C:\Setup\Data C:\Loop') || exit 1
      ;;
    dialog)
      rm -rf "$install_dir"; sync
      scn_driver "$prefix" 180 "$work/driver.log" --exe 'C:\Setup\SetUp.exe' --cwd 'C:\Setup' \
        --script "$(wine_path "$work/install.steps")" || { cat "$work/driver.log"; die "the dialog's installation did not finish"; }
      ms=$(sed -n 's/^.*stopwatch install \([0-9]*\) ms.*$/\1/p' "$work/driver.log" | head -n 1)
      [ -n "$ms" ] || die "no stopwatch reading in $work/driver.log"
      expect_files "$install_dir/V-ZurezUvad" "the dialog"
      ;;
  esac
  echo "$ms"
}

kinds=(cp loop unattended manifest loopover upgrade dialog)
declare -A times=([cp]="" [loop]="" [unattended]="" [manifest]="" [loopover]="" [upgrade]="" [dialog]="")
declare -A last=()
paired=""  # SetUp.exe /S over the loop, round by round
paired_manifest=""
paired_upgrade=""
for run in $(seq 0 "$runs"); do
  order=("${kinds[@]}")
  if [ $((run % 2)) -eq 1 ]; then
    order=()
    for ((i = ${#kinds[@]} - 1; i >= 0; i--)); do order+=("${kinds[i]}"); done
  fi
  line=""
  for k in "${order[@]}"; do
    ms=$(measure "$k") || exit 1
    line+=" $k $ms ms,"
    # Round 0 warms the caches and the Wine session up and is not counted.
    [ "$run" -gt 0 ] && times[$k]+=" $ms"
    last[$k]=$ms
  done
  [ "$run" -gt 0 ] && paired+=" $(awk -v a="${last[unattended]}" -v b="${last[loop]}" 'BEGIN {printf "%.3f", a / b}')"
  [ "$run" -gt 0 ] && paired_upgrade+=" $(awk -v a="${last[upgrade]}" -v b="${last[loopover]}" 'BEGIN {printf "%.3f", a / b}')"
  [ "$run" -gt 0 ] && paired_manifest+=" $(awk -v a="${last[manifest]}" -v b="${last[loop]}" 'BEGIN {printf "%.3f", a / b}')"
  if [ "$run" -eq 0 ]; then say "warm-up:${line%,}"; else say "run $run:${line%,}"; fi
done

median() { printf '%s\n' $1 | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
cp_med=$(median "${times[cp]}")
loop_med=$(median "${times[loop]}")
setup_med=$(median "${times[unattended]}")
dialog_med=$(median "${times[dialog]}")
manifest_med=$(median "${times[manifest]}")
upgrade_med=$(median "${times[upgrade]}")
loopover_med=$(median "${times[loopover]}")
upgrade_ratio=$(awk -v a="$upgrade_med" -v b="$loopover_med" 'BEGIN {printf "%.2f", a / b}')
manifest_ratio=$(awk -v a="$manifest_med" -v b="$loop_med" 'BEGIN {printf "%.2f", a / b}')
ratio=$(awk -v a="$setup_med" -v b="$loop_med" 'BEGIN {printf "%.2f", a / b}')
say "medians of $runs runs: SetUp.exe /S $setup_med ms, CopyFileA loop $loop_med ms, cp $cp_med ms (dialog, press to finished page: $dialog_med ms)"
# The two runs of a round were taken moments apart, under the same load: on a machine shared with
# other work the median of their ratios is the steadier figure, reported beside the gated one.
say "SetUp.exe /S / CopyFileA loop = $ratio (limit $max_ratio; median of the rounds' own ratios $(median "$paired")); CopyFileA loop / cp = $(awk -v a="$loop_med" -v b="$cp_med" 'BEGIN {printf "%.2f", a / b}'); SetUp.exe /S / cp = $(awk -v a="$setup_med" -v b="$cp_med" 'BEGIN {printf "%.2f", a / b}')"
say "with a manifest: SetUp.exe /S $manifest_med ms; / CopyFileA loop = $manifest_ratio (limit $max_manifest_ratio; median of the rounds' own ratios $(median "$paired_manifest")); / without a manifest = $(awk -v a="$manifest_med" -v b="$setup_med" 'BEGIN {printf "%.2f", a / b}')"
say "upgrade: SetUp.exe /S over an earlier installation $upgrade_med ms, CopyFileA loop over existing files $loopover_med ms; ratio $upgrade_ratio (limit $max_upgrade_ratio; median of the rounds' own ratios $(median "$paired_upgrade"))"
failed=0
awk -v r="$ratio" -v m="$max_ratio" 'BEGIN {exit !(r <= m)}' || { echo "bench-install: SetUp.exe /S is above $max_ratio times the CopyFileA loop" >&2; failed=1; }
awk -v r="$manifest_ratio" -v m="$max_manifest_ratio" 'BEGIN {exit !(r <= m)}' ||
  { echo "bench-install: SetUp.exe /S with a manifest is above $max_manifest_ratio times the CopyFileA loop" >&2; failed=1; }
awk -v r="$upgrade_ratio" -v m="$max_upgrade_ratio" 'BEGIN {exit !(r <= m)}' ||
  { echo "bench-install: the upgrade is above $max_upgrade_ratio times the CopyFileA loop over existing files" >&2; failed=1; }
exit "$failed"
