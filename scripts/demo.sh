#!/usr/bin/env bash
# Builds SetUp.exe and runs it under Wine in a demo Windows environment: a registry with demo
# AutoCAD installations (tests/fixtures/demo), their folders on the C: drive, and the demo payload
# (demo/payload) in a "Data" folder beside SetUp.exe.
#
# Usage: scripts/demo.sh [--headless | --unattended] [--lang zh_CN.UTF-8|en_US.UTF-8]
#   With a usable $DISPLAY the dialog opens for you; close it (or install) and the script prints
#   what was written. Without one (or with --headless) it runs under Xvfb, drives the dialog
#   itself through tests/wine/driver.exe, saves screenshots in build/demo/, installs, and prints
#   what was written to the registry and the C: drive. With --unattended it runs
#   `SetUp.exe /S` from a batch file, as a start-up script would (start /wait, then %ERRORLEVEL%),
#   with no window at all, and prints the exit code, the log and what was written. Every step
#   has a time limit.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/scenario-lib.sh
. scripts/scenario-lib.sh
# Whatever the build, the tests or Wine need and this machine lacks is installed first (quick
# when all is there; needs root or sudo the first time).
bash scripts/install-deps.sh || { echo "$(basename "$0"): could not install the packages it needs" >&2; exit 1; }

headless=0
unattended=0
lang=zh_CN.UTF-8
while [ $# -gt 0 ]; do
  case "$1" in
    --headless) headless=1 ;;
    --unattended) unattended=1 ;;
    --lang) lang=${2:?--lang needs a locale}; shift ;;
    -h | --help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "demo: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

out=$root/build/demo
build_dir=${DEMO_BUILD_DIR:-$root/build/win64}
say() { echo "demo: $*"; }
die() { echo "demo: $*" >&2; exit 1; }

# ---------------------------------------------------------------- build
say "building SetUp.exe and the driver (MinGW-w64, $build_dir)"
mkdir -p "$out"
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake --preset win64 >"$out/build.log" 2>&1 || { cat "$out/build.log"; die "cmake configure failed"; }
fi
timeout 1200 cmake --build "$build_dir" -j2 --target SetUp driver >>"$out/build.log" 2>&1 ||
  { tail -30 "$out/build.log"; die "the build failed (log: build/demo/build.log)"; }
setup_exe=$build_dir/src/SetUp.exe
SCN_DRIVER_EXE=$build_dir/tests/wine/driver.exe

# ---------------------------------------------------------------- the demo machine
wine_ensure_locale "$lang" || die "no locale $lang"
export LANG=$lang LC_ALL=$lang
say "making the demo Wine prefix (build/demo/prefix, LANG=$lang)"
prefix=$(scn_new_prefix "$out/prefix") || die "no Wine prefix"
cleanup() {
  wine_stop_prefix "$prefix"
  wine_xvfb_stop
}
trap cleanup EXIT
for reg in tests/fixtures/demo/*.reg; do
  wine_reg_import "$prefix" "$reg" || die "cannot import $reg"
done
acad_dirs=(
  'C:\Program Files (x86)\AutoCAD 2008'
  'C:\Program Files\Autodesk\AutoCAD 2010'
  'C:\Program Files\Autodesk\AutoCAD Mechanical 2015'
  'C:\Program Files\Autodesk\AutoCAD 2018'
  'C:\Program Files\Autodesk\AutoCAD 2022'
)
for d in "${acad_dirs[@]}"; do scn_make_acad_dir "$prefix" "$d"; done
setup_dir='C:\Downloads\Vornex'
scn_place_setup "$prefix" data "$setup_exe" demo/payload "$setup_dir" || die "cannot place SetUp.exe"
say "SetUp.exe is at $setup_dir\\SetUp.exe, the demo payload in $setup_dir\\Data"

# The files under a Windows folder of the prefix, as Windows paths, but for the names given.
list_files() {
  local winfolder=$1
  shift
  local dir rel skip
  dir=$(scn_unix_path "$prefix" "$winfolder")
  [ -d "$dir" ] || return 0
  while IFS= read -r rel; do
    rel=${rel#./}
    for skip in "$@"; do [ "$rel" = "$skip" ] && continue 2; done
    echo "    $winfolder\\${rel//\//\\}"
  done < <(cd "$dir" && find . -type f | sort)
}

# What the installation wrote, read back from the prefix.
report() {
  local tsv=$out/registry.tsv
  scn_reg_snapshot "$prefix" "$tsv"
  echo
  echo "==== Registry: the add-on's demand-load keys (HKEY_LOCAL_MACHINE)"
  awk -F'\t' 'NF == 4 && $1 ~ /\\Applications\\(VX_ZurezUvad|Vornex)/ { print $1 "\n    " $2 " (" $3 ") = " $4 }' "$tsv" |
    awk '/^HKEY/ { if ($0 == last) next; last = $0 } { print }'
  echo
  echo "==== Registry: TRUSTEDPATHS of the current user's AutoCAD profiles"
  awk -F'\t' 'NF == 4 && $2 == "TRUSTEDPATHS" { print $1 "\n    " $4 }' "$tsv"
  echo
  echo "==== C: drive: the install folder and the settings file"
  list_files 'C:\Vornex'
  list_files "C:\\users\\$(id -un)\\AppData\\Roaming\\Vornex"
  echo
  echo "==== C: drive: the AutoCAD folders (what the installation added, and Drv\\pdfplot9.hdi)"
  local d
  for d in "${acad_dirs[@]}"; do list_files "$d" acad.exe.txt Fonts/txt.shx; done
  echo "    (the Drv\\pdfplot9.hdi of AutoCAD 2008 now holds: $(head -1 "$(scn_unix_path "$prefix" 'C:\Program Files (x86)\AutoCAD 2008\Drv\pdfplot9.hdi')" | tr -d '\r'))"
}

# ---------------------------------------------------------------- unattended: no window at all
if [ "$unattended" -eq 1 ]; then
  # Xvfb all the same: SetUp.exe /S opens no window, and whatever Wine's user32 needs a display for
  # stays off the user's screen.
  wine_xvfb_start 1024x768x24 || die "Xvfb did not start"
  command="start \"\" /wait \"$setup_dir\\SetUp.exe\" /S"
  bat=$out/unattended.cmd
  printf '@echo off\r\n%s\r\necho exit code %%ERRORLEVEL%%\r\n' "$command" >"$bat"
  say "running, as a start-up script would: $command"
  wine_run "$prefix" 300 cmd /c "$(wine_path "$bat")" >"$out/unattended.out" 2>&1
  code=$(sed -n 's/^exit code \([0-9-]*\).*$/\1/p' "$out/unattended.out" | tr -d '\r' | head -n 1)
  [ -n "$code" ] || { cat "$out/unattended.out"; die "no exit code from the batch file"; }
  case "$code" in
    0) meaning="installed" ;;
    1639) meaning="invalid command line or folder: nothing changed" ;;
    1618) meaning="AutoCAD is running: nothing changed, try again later" ;;
    1603) meaning="failed or stopped" ;;
    536870913) meaning="installed, but some steps could not be done (see the log)" ;;
    *) meaning="not one of SetUp.exe's codes" ;;
  esac
  log_win="C:\\users\\$(id -un)\\Temp\\VornexSetup.log"
  echo
  echo "==== Exit code: $code ($meaning)"
  echo
  echo "==== The log: $log_win (UTF-8)"
  log_file=$(scn_unix_path "$prefix" "$log_win")
  if [ -f "$log_file" ]; then sed '1s/^\xef\xbb\xbf//' "$log_file" | tr -d '\r' | sed 's/^/    /'; else echo "    (no log)"; fi
  report
  exit 0
fi

# ---------------------------------------------------------------- with a display: the user clicks
display_usable() {
  [ -n "${DISPLAY:-}" ] && timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1
}
if [ "$headless" -eq 0 ] && display_usable; then
  say "opening the dialog on $DISPLAY; install or close it to continue (limit: one hour)"
  wine_run "$prefix" 3600 "$(scn_unix_path "$prefix" "$setup_dir")/SetUp.exe"
  report
  exit 0
fi

# ---------------------------------------------------------------- headless: the driver clicks
say "no usable display: running under Xvfb and driving the dialog"
wine_xvfb_start 1280x1024x24 || die "Xvfb did not start"
shot() {
  local name=$1
  # The desktop is black and the dialog sits in a corner: trim to the windows.
  if timeout 20 import -window root "$out/$name.full.png" 2>/dev/null; then
    timeout 20 convert "$out/$name.full.png" -trim +repage "$out/$name.png" && rm -f "$out/$name.full.png"
    say "screenshot: build/demo/$name.png"
  else
    say "could not take the screenshot $name"
  fi
}
drive() {
  local log=$out/driver.log
  if ! scn_driver "$prefix" 90 "$log.part" "$@"; then
    cat "$log.part"
    die "the driver failed (above)"
  fi
  cat "$log.part" >>"$log"
  rm -f "$log.part"
}
: >"$out/driver.log"
rm -f "$out"/*.png

drive --exe "$setup_dir\\SetUp.exe" --cwd "$setup_dir" --keep \
  --step 'wait-window "V-批打印软件安装" 30' \
  --step 'expect-control 1019 enabled checked' --step 'expect-control 1027 enabled checked' \
  --step 'expect-control 1031 enabled checked' --step 'expect-control 1034 enabled checked' \
  --step 'expect-control 1038 enabled checked' --step 'expect-control 1022 enabled'
shot 1-setup-dialog

drive --attach SetUp.exe --keep \
  --step 'wait-window "V-批打印软件安装" 10' --step 'click-async 1015' \
  --step 'wait-window "请选择安装目录：" 20' --step 'set-text 14148 "C:\Vornex"'
shot 2-folder-chooser
drive --attach SetUp.exe --keep \
  --step 'wait-window "请选择安装目录：" 10' --step 'click-async 1' \
  --step 'wait-msgbox 20' --step 'expect-msgbox-contains "does not exist"'
shot 3-create-folder-question
drive --attach SetUp.exe --keep \
  --step 'wait-msgbox 10' --step 'answer-msgbox 6' \
  --step 'wait-window "V-批打印软件安装" 10' --step 'expect-control 1000 text "C:\Vornex"'

drive --attach SetUp.exe --keep \
  --step 'wait-window "V-批打印软件安装" 10' --step 'click-async 1022' \
  --step 'wait-control 1 visible enabled 60' --step 'expect-control 1023 visible' --step 'expect-control 1021 visible'
shot 4-finished

drive --attach SetUp.exe \
  --step 'wait-window "V-批打印软件安装" 10' --step 'click-async 1' --step 'wait-exit 20 expect 0'
say "SetUp.exe has finished (driver log: build/demo/driver.log)"

report
echo
say "screenshots are in build/demo/:"
ls "$out"/*.png | sed "s|^$root/|    |"
