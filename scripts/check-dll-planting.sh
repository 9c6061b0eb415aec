#!/usr/bin/env bash
# DLL planting under Wine: DLLs named like system DLLs lie beside SetUp.exe, and none may be loaded.
#
# What Wine can show. Wine prefers its own builtin DLLs to a file of the same name in the program's
# folder, so by default a planted DLL is ignored whatever the program does. WINEDLLOVERRIDES
# "name=n,b" makes Wine take a native file first, found through the ordinary search order, which
# is what Windows does for every DLL that is not a KnownDLL. First the manifest embedded in
# SetUp.exe is checked (step 0 below), then three runs, in one Wine prefix:
#   1. control: planting_probe.exe loads each name with the default search order: every planted
#      copy must be loaded (its marker file C:\planted-<name>.txt appears). Otherwise this Wine
#      cannot show planting at all, and the check fails rather than pass on nothing.
#   2. the same probe after the very function SetUp.exe calls first (src/app/dll_search.cpp):
#      no planted copy may be loaded.
#   3. SetUp.exe itself, driven through the dialog, the folder browser (opened and cancelled) and
#      an installation: no marker may appear, no DLL may be mapped from the setup folder (Wine's
#      +loaddll trace), and the forced DLLs that SetUp.exe did ask for must have come from the
#      system folder; the run reports which ones it asked for.
#
# What it cannot show. Not the loader's KnownDLLs (Wine 8 has none: the DLLs SetUp.exe imports are
# protected on Windows by being KnownDLLs, which scripts/check-pe.sh checks, and not by anything
# Wine runs). Nor uxtheme and the like when Wine's ntdll resolves its own DLLs' delay imports:
# that path ignores SetDefaultDllDirectories in Wine, whereas Windows honours it; in this run Wine
# loads them through LoadLibrary first, which does honour it. And nothing about Windows 7 without
# KB2533623, where only SetDllDirectoryW("") is available.
#
# Usage: scripts/check-dll-planting.sh
# Environment: SETUP_BUILD_DIR (default build/win64); SETUP_EXE, another SetUp.exe to check (a
# build without the restriction must fail run 3).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=scripts/scenario-lib.sh
. scripts/scenario-lib.sh

build_dir=${SETUP_BUILD_DIR:-build/win64}
work=$root/build/dll-planting
here=tests/wine/dll-planting
setup_dir='C:\Setup'
cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}

# Planted beside SetUp.exe: DLLs that installers are known to pick up from their own folder, and
# Wine's display driver, which user32 loads by name at run time as Windows' user32 loads others.
planted=(version.dll uxtheme.dll cryptbase.dll dwmapi.dll comctl32.dll winex11.drv)
# Forced native-first for SetUp.exe: all of them. Wine's own user32 imports version.dll; SetUp.exe
# delay-loads user32 (cmake/DelayLoad.cmake), so that import is bound at the first window, after the
# restriction. A SetUp.exe importing user32 again would have it bound before wWinMain, from beside
# SetUp.exe: this run fails then.
forced_setup=(version.dll uxtheme.dll cryptbase.dll dwmapi.dll comctl32.dll winex11.drv)

failed=0
fail() { echo "FAIL: $*"; failed=1; }
marker_of() { local n=${1%.*}; echo "C:\\planted-${n,,}.txt"; }
overrides_for() {
  local list=() n
  for n in "$@"; do list+=("${n%.dll}"); done
  local IFS=,
  echo "mscoree,mshtml=;${list[*]}=n,b"
}

# ---------------------------------------------------------------- build
mkdir -p "$work/bin"
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake --preset win64 >/dev/null || { echo "dll-planting: cmake configure failed"; exit 1; }
fi
cmake --build "$build_dir" -j2 --target SetUp driver >"$work/build.log" 2>&1 ||
  { cat "$work/build.log"; echo "dll-planting: building SetUp.exe and driver.exe failed"; exit 1; }
flags=(-std=c++20 -O2 -s -static -Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wsign-conversion
       -Wold-style-cast -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601)
"$cxx" "${flags[@]}" -shared tests/wine/planted_dll.cpp -o "$work/bin/planted.dll" &&
  "$cxx" "${flags[@]}" -municode -Isrc tests/wine/planting_probe.cpp src/app/dll_search.cpp \
    -o "$work/bin/planting_probe.exe" ||
  { echo "dll-planting: building the planted DLL and the probe failed"; exit 1; }
SCN_DRIVER_EXE=$root/$build_dir/tests/wine/driver.exe

# ---------------------------------------------------------------- 0. the manifest
# What the defence stands on: SetUp.exe asks for no elevation in its manifest (asInvoker, so that
# Active Setup can start the installed copy as a standard user at sign-in) and starts itself again
# through UAC for everything else; the elevated copy restricts its DLL search before it loads
# anything, as this check shows below. (Wine gives every process an elevated token, so the
# relaunch cannot be shown here.) uiAccess stays false. The Common Controls 6.0 dependency sends
# the run-time load of comctl32 to the side-by-side store instead of any folder. The manifest is
# embedded as plain UTF-8 text.
exe=${SETUP_EXE:-$build_dir/src/SetUp.exe}
echo "==== 0. the manifest embedded in $exe"
grep -aq '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' "$exe" ||
  fail "the manifest does not ask to run as its invoker with uiAccess false"
grep -aq 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' "$exe" ||
  fail "the manifest has no Common Controls 6.0 dependency"
[ "$failed" -eq 0 ] && echo "    asInvoker, uiAccess false; Common Controls 6.0"

# ---------------------------------------------------------------- prefix
wine_ensure_locale zh_CN.UTF-8 || true
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wine_xvfb_start 1280x1024x24 || { echo "dll-planting: Xvfb did not start"; exit 1; }
prefix=
# The prefix is kept after a failure, for a look at what was loaded from where.
cleanup() {
  if [ -n "$prefix" ]; then
    wine_stop_prefix "$prefix"
    [ "$failed" -eq 0 ] && rm -rf "$prefix"
  fi
  wine_xvfb_stop
}
trap cleanup EXIT
prefix=$(scn_new_prefix "$work/prefix") || { echo "dll-planting: no prefix"; exit 1; }
scn_place_setup "$prefix" data "$exe" demo/payload "$setup_dir" || exit 1
setup_unix=$(scn_unix_path "$prefix" "$setup_dir")
for n in "${planted[@]}"; do cp "$work/bin/planted.dll" "$setup_unix/$n"; done
cp "$work/bin/planting_probe.exe" "$setup_unix/"
clear_markers() { rm -f "$prefix"/drive_c/planted-*.txt; }
markers() { (cd "$prefix/drive_c" && ls planted-*.txt 2>/dev/null); }

probe() {
  WINEPREFIX=$prefix WINEDLLOVERRIDES=$(overrides_for "${planted[@]}") timeout -k 5 60 \
    "$WINE" "$setup_dir\\planting_probe.exe" "$@" "${planted[@]}" 2>/dev/null | tr -d '\r'
}

# ---------------------------------------------------------------- 1. control
echo "==== 1. control: the probe with the default search order, planted DLLs forced native-first"
clear_markers
out=$(probe)
echo "$out" | sed 's/^/    /'
control_ok=1
for n in "${planted[@]}"; do
  grep -qxF "$n: $setup_dir\\$n" <<<"$out" || { fail "control: $n was not loaded from beside the probe"; control_ok=0; }
  [ -f "$(scn_unix_path "$prefix" "$(marker_of "$n")")" ] || { fail "control: no marker for $n"; control_ok=0; }
done
if [ "$control_ok" -eq 0 ]; then
  echo "dll-planting: this Wine does not load planted DLLs even when asked to; nothing below would prove anything"
  exit 1
fi

# ---------------------------------------------------------------- 2. restricted probe
echo "==== 2. the probe after RestrictDllSearch()"
clear_markers
out=$(probe --restrict)
echo "$out" | sed 's/^/    /'
grep -qx 'search: system folder only (SetDefaultDllDirectories)' <<<"$out" ||
  fail "the probe did not get the system-folder-only search order"
grep -F "$setup_dir\\" <<<"$out" && fail "a planted DLL was loaded after the restriction"
[ -z "$(markers)" ] || fail "markers after the restriction: $(markers | tr '\n' ' ')"
wine_stop_prefix "$prefix"

# ---------------------------------------------------------------- 3. SetUp.exe
echo "==== 3. SetUp.exe: dialog, folder browser, installation; forced native-first: ${forced_setup[*]}"
clear_markers
wine_reg_import "$prefix" "$here/one-release.reg" || fail "registry fixture not imported"
scn_make_acad_dir "$prefix" 'C:\Program Files\Autodesk\AutoCAD 2010'
log=$work/setup.log
rc=0
WINEDEBUG=-all,+pid,+loaddll WINEDLLOVERRIDES=$(overrides_for "${forced_setup[@]}") \
  scn_driver "$prefix" 90 "$log" --exe "$setup_dir\\SetUp.exe" --cwd "$setup_dir" \
  --script "$(wine_path "$here/setup.steps")" || rc=$?
grep -av ':trace:loaddll:' "$log" | sed 's/^/    /'
[ "$rc" -eq 0 ] || fail "the driver ended with $rc (log: ${log#"$root"/})"
[ -z "$(markers)" ] || fail "planted DLLs ran: $(markers | tr '\n' ' ')"

# "pid:tid:trace:loaddll:build_module Loaded L"C:\\dir\\name.dll" at ...: native|builtin"
loads=$(grep -a ':trace:loaddll:build_module Loaded L"' "$log" |
        sed -E 's/^([0-9a-f]+):[0-9a-f]+:.*Loaded L"([^"]*)".*: (native|builtin)$/\1\t\2\t\3/' | sed 's/\\\\/\\/g')
# Awk reads paths from the environment: -v would take their backslashes for escapes.
export SETUP_EXE="$setup_dir\\SetUp.exe" SETUP_PREFIX="$setup_dir\\"
setup_pid=$(awk -F'\t' 'tolower($2) == tolower(ENVIRON["SETUP_EXE"]) {print $1; exit}' <<<"$loads")
[ -n "$setup_pid" ] || fail "no trace of SetUp.exe being loaded (WINEDEBUG +loaddll)"
# Native images mapped from the setup folder, by any process, SetUp.exe itself aside.
from_setup=$(awk -F'\t' '$3 == "native" && index(tolower($2), tolower(ENVIRON["SETUP_PREFIX"])) == 1 &&
                        tolower($2) != tolower(ENVIRON["SETUP_EXE"]) {print $2}' <<<"$loads")
[ -z "$from_setup" ] || fail "mapped from the setup folder: $(tr '\n' ' ' <<<"$from_setup")"

asked=0
for n in "${forced_setup[@]}"; do
  where=$(awk -F'\t' -v pid="$setup_pid" -v name="$n" \
    '$1 == pid { p = $2; gsub(/\\/, "/", p); k = split(p, part, "/"); if (tolower(part[k]) == tolower(name)) print $2 " (" $3 ")" }' \
    <<<"$loads" | sort -u | tr '\n' ' ')
  if [ -n "$where" ]; then
    asked=$((asked + 1))
    echo "    $n: asked for by SetUp.exe, loaded from $where"
  else
    echo "    $n: not asked for by SetUp.exe in this run (nothing shown for it)"
  fi
done
[ "$asked" -gt 0 ] || fail "SetUp.exe asked for none of the forced DLLs: the run exercised nothing"

echo
if [ "$failed" -ne 0 ]; then
  echo "dll-planting: FAILED"
  exit 1
fi
echo "dll-planting: ok (planted copies load without the restriction, and neither the probe after it nor SetUp.exe loads them)"
