#!/usr/bin/env bash
# Scenario tests: the real SetUp.exe under Wine and Xvfb, driven from outside by driver.exe, each
# scenario in a fresh copy of a base Wine prefix; afterwards the Wine registry and the C: drive are
# checked.
#
# Usage: scripts/scenarios.sh [--keep] [--list] [NAME...]
#   NAME     run only these scenarios (file names in tests/wine/scenarios without .steps)
#   --keep   keep each scenario's prefix and logs under build/scenarios/ (logs are kept anyway)
#   --list   list the scenarios and what they need
# Environment: SCN_BUILD_DIR (default build/win64), SCN_DISABLED_FEATURES (features SetUp.exe
# does not have yet; scenarios that need one are skipped).
#
# A scenario is tests/wine/scenarios/NAME.steps: driver steps (see tests/wine/driver.cpp) with
# set-up directives in "#@" comment lines, and optionally NAME.check: checks of the registry and
# the C: drive after the run (see scn_check in scripts/scenario-lib.sh). Directives:
#   #@ lang zh_CN.UTF-8            LANG and LC_ALL of the run (default zh_CN.UTF-8: code page 936)
#   #@ reg FILE.reg                import a registry fixture (UTF-8, relative to the scenarios folder)
#   #@ reg-link 'HKLM\...' '\REGISTRY\...'   make a link key pointing at the target (after the imports)
#   #@ user SID 'C:\users\li' FILE.reg   another user with a profile, not signed in: a ProfileList
#                                  entry, the profile folder, and its NTUSER.DAT made with Wine's own
#                                  RegSaveKey from FILE.reg's keys under HKEY_USERS\SID; the checks
#                                  also see HKU\SID and HKU\VornexSetup_SID (the installer's load).
#                                  Without FILE.reg no hive file: a roaming profile not on this machine
#   #@ pre-run ARG...              run SetUp.exe with these arguments to its end (exit 0) first
#   #@ pre-run-exe 'C:\...\P.exe' ARG...   the same with another program (in order with pre-run)
#   #@ restart                     restart Windows (wineboot -r) after the run, before the checks:
#                                  what was left for the next start is done then
#   #@ exe 'C:\...\Program.exe'     drive this program instead of SetUp.exe (the --args still apply)
#   #@ snapshot-before             take the registry and the C: drive before any run (same-as-before)
#   #@ pre-steps OTHER.steps       drive SetUp.exe through another scenario's steps first
#   #@ layout data|flat|none|package   the payload beside SetUp.exe (default data); package: the
#                                  release scripts/package.sh makes of the demo payload, its
#                                  SetUp.exe carrying the payload's manifest, with Data\ and the
#                                  MSI beside it as Vornex.msi
#   #@ alter-payload NAME          one byte of the placed Data\NAME changed (its last, inverted)
#   #@ pre-msiexec ARG...          run msiexec with these arguments to its end (exit 0) first, after
#                                  the pre-runs; its product's Apps & features key is in the checks
#                                  as %MSI_PRODUCT% (its ProductCode) and in the registry snapshots
#   #@ snapshot-after-pre-runs     take the same-as-before state after the pre-runs, not before
#   #@ setup-dir 'C:\Setup'        where SetUp.exe goes (default C:\Setup)
#   #@ acad-dir 'C:\...\AutoCAD 2010'   an AutoCAD install folder with Fonts, Drv\pdfplot9.hdi
#   #@ acad-running                a process named acad.exe runs while SetUp.exe runs
#   #@ env NAME=VALUE              an environment variable for SetUp.exe (APPDATA=... and
#                                  TEMP=... also become %APPDATA% and %TEMP% in the checks)
#   #@ mkdir 'C:\...'              a folder made before the run
#   #@ file 'C:\...' "TEXT"        a file with one line of text made before the run
#   #@ folder-link 'C:\...' 'C:\target'   a Unix symbolic link to a folder, which Wine reports
#                                  as a reparse point (its junctions and CreateSymbolicLinkW make none)
#   #@ drive D                     a drive D: (a folder drive_d in the prefix); the copies of the
#                                  base prefix have C: (and Z:, the host's root) only
#   #@ args '/S' '/DIR=D:\A B'     the program's arguments; the driver quotes each as Windows
#                                  programs read them (CommandLineToArgvW)
#   #@ hold-file 'C:\...'          the driver holds the file open without sharing (made empty if
#                                  missing) from before the program starts to the end
#   #@ hold-mutex 'Global\X'        the driver owns the named mutex from before the program starts to the end
#   #@ needs FEATURE               skipped while FEATURE is in SCN_DISABLED_FEATURES
#   #@ program selftest            drive the driver's self-test dialog instead of SetUp.exe
#   #@ steps OTHER.steps           take the steps from another scenario (its directives are not used)
#   #@ limit SECONDS               the scenario's time limit (default 60)
#   #@ not-loaded NAME.dll ...     SetUp.exe's own process must never load these DLLs during the
#                                  driven run (Wine's +loaddll trace; user32.dll and gdi32.dll for
#                                  the runs that open no window)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/scenario-lib.sh
. scripts/scenario-lib.sh

build_dir=${SCN_BUILD_DIR:-$root/build/win64}
disabled=" ${SCN_DISABLED_FEATURES-browser-initial-selection} "
scen_dir=$root/tests/wine/scenarios
work=$root/build/scenarios
payload=$root/demo/payload
keep=0
list=0
names=()
for a in "$@"; do
  case "$a" in
    --keep) keep=1 ;;
    --list) list=1 ;;
    -*) echo "unknown option $a" >&2; exit 2 ;;
    *) names+=("$a") ;;
  esac
done
if [ ${#names[@]} -eq 0 ]; then
  for f in "$scen_dir"/*.steps; do names+=("$(basename "$f" .steps)"); done
fi

if [ "$list" -eq 1 ]; then
  for n in "${names[@]}"; do
    printf '%-24s %s\n' "$n" "$(grep -m1 '^# ' "$scen_dir/$n.steps" | sed 's/^# //')"
  done
  exit 0
fi

# ---------------------------------------------------------------- build
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake --preset win64 >/dev/null || { echo "scenarios: cmake configure failed"; exit 1; }
fi
mkdir -p "$work"
cmake --build "$build_dir" -j2 --target SetUp driver acad_stub selftest regtool >"$work/build.log" 2>&1 ||
  { tail -40 "$work/build.log"; echo "scenarios: the build of SetUp.exe or the test programs failed"; exit 1; }
SCN_DRIVER_EXE=$build_dir/tests/wine/driver.exe
setup_exe=$build_dir/src/SetUp.exe
acad_exe=$build_dir/tests/wine/acad.exe
regtool_exe=$build_dir/tests/wine/regtool.exe
selftest_exe=$build_dir/tests/wine/selftest.exe

mkdir -p "$work"
wine_ensure_locale zh_CN.UTF-8 || true
wine_ensure_locale en_US.UTF-8 || true
wine_base_prefix >/dev/null || { echo "scenarios: no base Wine prefix"; exit 1; }
wine_xvfb_start 1280x1024x24 || { echo "scenarios: Xvfb did not start"; exit 1; }
trap 'wine_xvfb_stop' EXIT

# The release as scripts/package.sh makes it from the demo payload, made once, when a scenario
# asks for it: $package_dir/top holds SetUp.exe and Data\, $package_dir/Vornex.msi the MSI.
package_dir=$work/package
SCN_MSI_PRODUCT=
make_package() {
  [ -n "$SCN_MSI_PRODUCT" ] && return 0
  rm -rf "$package_dir" && mkdir -p "$package_dir"
  local version
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
  bash scripts/package.sh --exe "$setup_exe" --payload "$payload" --version "$version" \
    --out "$package_dir/VornexSetup.zip" >"$package_dir/package.log" 2>&1 || { cat "$package_dir/package.log"; return 1; }
  python3 -m zipfile -e "$package_dir/VornexSetup.zip" "$package_dir/unzipped" &&
    mv "$package_dir/unzipped/"* "$package_dir/top" &&
    mv "$package_dir/Vornex-$version.msi" "$package_dir/Vornex.msi" || return 1
  SCN_MSI_PRODUCT=$(sed -n 's/^.*ProductCode \({[0-9A-F-]*}\).*$/\1/p' "$package_dir/package.log")
  [ -n "$SCN_MSI_PRODUCT" ]
}

# ---------------------------------------------------------------- one scenario
# Reads the directives of a steps file into globals.
read_directives() {
  local file=$1 line
  d_lang=zh_CN.UTF-8; d_layout=data; d_setup_dir='C:\Setup'; d_acad_running=0; d_program=setup
  d_steps=$file; d_limit=60
  d_regs=(); d_links=(); d_acad_dirs=(); d_env=(); d_mkdirs=(); d_files=(); d_folder_links=(); d_needs=()
  d_drives=(); d_args=(); d_holds=(); d_mutexes=(); d_preruns=(); d_presteps=(); d_exe=; d_snapshot=0; d_users=()
  d_alter=(); d_premsi=(); d_snapshot_late=0; d_restart=0; d_not_loaded=()
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%$'\r'}
    [[ $line == '#@ '* ]] || continue
    scn_tokenize "${line:3}" || { echo "bad directive: $line"; return 1; }
    local k=${SCN_TOKENS[0]} v=${SCN_TOKENS[1]:-}
    case "$k" in
      lang) d_lang=$v ;;
      reg) d_regs+=("$v") ;;
      reg-link) d_links+=("$v"$'\t'"${SCN_TOKENS[2]:-}") ;;
      user) d_users+=("$v"$'\t'"${SCN_TOKENS[2]:-}"$'\t'"${SCN_TOKENS[3]:-}") ;;
      layout) d_layout=$v ;;
      setup-dir) d_setup_dir=$v ;;
      acad-dir) d_acad_dirs+=("$v") ;;
      acad-running) d_acad_running=1 ;;
      env) d_env+=("$v") ;;
      mkdir) d_mkdirs+=("$v") ;;
      file) d_files+=("$v"$'\t'"${SCN_TOKENS[2]:-}") ;;
      folder-link) d_folder_links+=("$v"$'\t'"${SCN_TOKENS[2]:-}") ;;
      drive) d_drives+=("$v") ;;
      args) d_args+=("${SCN_TOKENS[@]:1}") ;;
      pre-run) local IFS=$'\x1f'; d_preruns+=("${SCN_TOKENS[*]:1}"); unset IFS ;;
      pre-run-exe) local IFS=$'\x1f'; d_preruns+=("@exe=${SCN_TOKENS[*]:1}"); unset IFS ;;
      restart) d_restart=1 ;;
      exe) d_exe=$v ;;
      snapshot-before) d_snapshot=1 ;;
      snapshot-after-pre-runs) d_snapshot=1; d_snapshot_late=1 ;;
      alter-payload) d_alter+=("$v") ;;
      pre-msiexec) local IFS=$'\x1f'; d_premsi+=("${SCN_TOKENS[*]:1}"); unset IFS ;;
      pre-steps) d_presteps+=("$scen_dir/$v") ;;
      hold-file) d_holds+=("$v") ;;
      hold-mutex) d_mutexes+=("$v") ;;
      needs) d_needs+=("$v") ;;
      program) d_program=$v ;;
      steps) d_steps=$scen_dir/$v ;;
      limit) d_limit=$v ;;
      not-loaded) d_not_loaded+=("${SCN_TOKENS[@]:1}") ;;
      *) echo "unknown directive: $line"; return 1 ;;
    esac
  done <"$file"
}

# The DLLs of d_not_loaded must not appear among those the driven program's own process loaded,
# by the +loaddll trace in the driver's log ("pid:tid:trace:loaddll:build_module Loaded
# L"C:\\dir\\name.dll" at ...: builtin"). Without a trace of the program itself nothing is shown,
# and that fails too.
check_not_loaded() {
  local log=$1 exe=$2 loads pid dll bad=0
  loads=$(grep -a ':trace:loaddll:build_module Loaded L"' "$log" |
          sed -E 's/^([0-9a-f]+):[0-9a-f]+:.*Loaded L"([^"]*)".*$/\1\t\2/' | sed 's/\\\\/\\/g')
  pid=$(SCN_EXE=$exe awk -F'\t' 'tolower($2) == tolower(ENVIRON["SCN_EXE"]) {print $1; exit}' <<<"$loads")
  if [ -z "$pid" ]; then
    echo "not-loaded: no +loaddll trace of $exe being loaded"
    return 1
  fi
  for dll in "${d_not_loaded[@]}"; do
    # The file name alone, whatever folder it came from.
    if awk -F'\t' -v pid="$pid" '$1 == pid {n = split($2, part, "\\"); print part[n]}' <<<"$loads" |
       grep -qixF -- "$dll"; then
      echo "not-loaded: $exe loaded $dll"
      bad=1
    fi
  done
  [ "$bad" -eq 0 ] && echo "not-loaded: $exe loaded none of ${d_not_loaded[*]}"
  return "$bad"
}

# Runs one scenario; its output goes to the caller (the scenario's log). Returns 0 when it passed.
now_ms() { local t=${EPOCHREALTIME/[.,]/}; echo $((t / 1000)); }
phase() { local ms=$(($(now_ms) - t_scn)); printf '[%3d.%d s] %s\n' $((ms / 1000)) $((ms % 1000 / 100)) "$*"; }

run_scenario() {
  local name=$1
  t_scn=$(now_ms)
  local file=$scen_dir/$name.steps
  read_directives "$file" || return 1
  export LANG=$d_lang LC_ALL=$d_lang
  local prefix
  phase "new prefix"
  prefix=$(scn_new_prefix "$work/$name/prefix") || { echo "no prefix"; return 1; }
  local ok=0
  phase "set-up: registry, folders, SetUp.exe"
  (
    set -e
    for d in "${d_drives[@]}"; do scn_add_drive "$prefix" "$d"; done
    for r in "${d_regs[@]}"; do wine_reg_import "$prefix" "$scen_dir/$r"; done
    for l in "${d_links[@]}"; do
      WINEPREFIX=$prefix "$WINE" "$regtool_exe" link "${l%%$'\t'*}" "${l#*$'\t'}"
    done
    for u in "${d_users[@]}"; do
      IFS=$'\t' read -r sid profile reg <<<"$u"
      scn_add_user "$prefix" "$regtool_exe" "$sid" "$profile" "${reg:+$scen_dir/$reg}"
    done
    for a in "${d_acad_dirs[@]}"; do scn_make_acad_dir "$prefix" "$a"; done
    for m in "${d_mkdirs[@]}"; do mkdir -p "$(scn_unix_path "$prefix" "$m")"; done
    for f in "${d_files[@]}"; do
      p=$(scn_unix_path "$prefix" "${f%%$'\t'*}")
      mkdir -p "$(dirname "$p")"
      printf '%s\r\n' "${f#*$'\t'}" >"$p"
    done
    for l in "${d_folder_links[@]}"; do
      p=$(scn_unix_path "$prefix" "${l%%$'\t'*}")
      mkdir -p "$(dirname "$p")"
      ln -s "$(scn_unix_path "$prefix" "${l#*$'\t'}")" "$p"
    done
    if [ "$d_program" = setup ] && [ "$d_layout" = package ]; then
      dir=$(scn_unix_path "$prefix" "$d_setup_dir")
      mkdir -p "$dir" && cp -r "$package_dir/top/SetUp.exe" "$package_dir/top/Data" "$package_dir/Vornex.msi" "$dir/"
    elif [ "$d_program" = setup ]; then
      scn_place_setup "$prefix" "$d_layout" "$setup_exe" "$payload" "$d_setup_dir"
    fi
    for f in "${d_alter[@]}"; do
      p=$(scn_unix_path "$prefix" "$d_setup_dir\\Data\\$f")
      python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[-1] ^= 0xFF; open(sys.argv[1], "wb").write(b)' "$p"
    done
  ) || { echo "scenario set-up failed"; ok=1; }

  local exe_win args=()
  if [ "$d_program" = selftest ]; then
    exe_win=$(wine_path "$selftest_exe")
  else
    exe_win=${d_exe:-"$d_setup_dir\\SetUp.exe"}
    args+=(--cwd "$d_setup_dir")
  fi
  SCN_EXTRA_ROOTS=()
  if ((${#d_premsi[@]})) || [ "$d_layout" = package ]; then
    SCN_EXTRA_ROOTS+=("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$SCN_MSI_PRODUCT")
  fi
  # The state the same-as-before check compares with: taken after the set-up, before any run.
  SCN_BEFORE=
  if [ "$ok" -eq 0 ] && [ "$d_snapshot" -eq 1 ] && [ "$d_snapshot_late" -eq 0 ]; then
    SCN_BEFORE=$work/$name/before
    scn_state "$prefix" "$SCN_BEFORE"
  fi
  # SetUp.exe run to its end before the driven program (an installation to uninstall, say); each
  # must exit 0.
  local pre
  for pre in "${d_preruns[@]}"; do
    [ "$ok" -eq 0 ] || break
    local -a pre_args
    IFS=$'\x1f' read -r -a pre_args <<<"$pre"
    local pre_exe="$d_setup_dir\\SetUp.exe"
    if [[ ${pre_args[0]:-} == @exe=* ]]; then
      pre_exe=${pre_args[0]#@exe=}
      pre_args=("${pre_args[@]:1}")
    fi
    phase "pre-run: $pre_exe ${pre_args[*]}"
    local pre_rc=0
    WINEPREFIX=$prefix timeout -k 5 "$d_limit" "$WINE" "$pre_exe" "${pre_args[@]}" >/dev/null 2>&1 || pre_rc=$?
    [ "$pre_rc" -eq 0 ] || { echo "pre-run $pre_exe ${pre_args[*]}: exit code $pre_rc"; ok=1; }
  done
  for pre in "${d_premsi[@]}"; do
    [ "$ok" -eq 0 ] || break
    local -a pre_args
    IFS=$'\x1f' read -r -a pre_args <<<"$pre"
    phase "pre-msiexec: ${pre_args[*]}"
    local pre_rc=0
    WINEPREFIX=$prefix timeout -k 5 "$d_limit" "$WINE" msiexec "${pre_args[@]}" >/dev/null 2>&1 || pre_rc=$?
    [ "$pre_rc" -eq 0 ] || { echo "pre-msiexec ${pre_args[*]}: exit code $pre_rc"; ok=1; }
  done
  if [ "$ok" -eq 0 ] && [ "$d_snapshot_late" -eq 1 ]; then
    SCN_BEFORE=$work/$name/before
    scn_state "$prefix" "$SCN_BEFORE"
  fi
  # SetUp.exe driven through another scenario's steps first (an installation through the dialog).
  for pre in "${d_presteps[@]}"; do
    [ "$ok" -eq 0 ] || break
    phase "pre-steps: $(basename "$pre")"
    scn_driver "$prefix" "$d_limit" "$work/$name/pre-driver.log" --exe "$d_setup_dir\\SetUp.exe" --cwd "$d_setup_dir" \
      --script "$(wine_path "$pre")" || { cat "$work/$name/pre-driver.log"; echo "pre-steps failed"; ok=1; }
  done
  SCN_APPDATA= SCN_TEMP=
  local e
  for e in "${d_env[@]}"; do
    args+=(--env "$e")
    [[ $e == APPDATA=* ]] && SCN_APPDATA=${e#APPDATA=}
    [[ $e == TEMP=* ]] && SCN_TEMP=${e#TEMP=}
  done
  for e in "${d_args[@]}"; do args+=(--arg "$e"); done
  for e in "${d_holds[@]}"; do args+=(--hold-file "$e"); done
  for e in "${d_mutexes[@]}"; do args+=(--hold-mutex "$e"); done

  local stub_pid=
  if [ "$ok" -eq 0 ] && [ "$d_acad_running" -eq 1 ]; then
    local stub_dir
    stub_dir=$(scn_unix_path "$prefix" 'C:\AcadStub')
    mkdir -p "$stub_dir"
    cp "$acad_exe" "$stub_dir/acad.exe"
    WINEPREFIX=$prefix "$WINE" "$stub_dir/acad.exe" "$d_limit" >/dev/null 2>&1 &
    stub_pid=$!
    # The stub is in the process list once the driver can see it: the driver's own attach waits.
    scn_driver "$prefix" 20 "$work/$name/stub.log" --attach acad.exe --keep || { echo "acad.exe did not start"; ok=1; }
  fi

  if [ "$ok" -eq 0 ]; then
    phase "driver"
    local rc=0 debug=${WINEDEBUG-}
    ((${#d_not_loaded[@]})) && debug=-all,+pid,+loaddll
    WINEDEBUG=$debug scn_driver "$prefix" "$d_limit" "$work/$name/driver.log" --exe "$exe_win" "${args[@]}" \
      --script "$(wine_path "$d_steps")" || rc=$?
    grep -av ':trace:loaddll:' "$work/$name/driver.log"
    [ "$rc" -eq 0 ] || { echo "driver: exit code $rc"; ok=1; }
    ((${#d_not_loaded[@]})) && { check_not_loaded "$work/$name/driver.log" "$exe_win" || ok=1; }
  fi

  if [ "$ok" -eq 0 ] && [ "$d_restart" -eq 1 ]; then
    phase "restart"
    WINEPREFIX=$prefix timeout -k 5 "$d_limit" "$WINE" wineboot -r >/dev/null 2>&1 || { echo "wineboot -r failed"; ok=1; }
    WINEPREFIX=$prefix "$WINESERVER" -w 2>/dev/null || true
  fi

  if [ "$ok" -eq 0 ] && [ -f "$scen_dir/$name.check" ]; then
    phase "checks"
    for u in "${d_users[@]}"; do SCN_EXTRA_ROOTS+=("HKU\\${u%%$'\t'*}" "HKU\\VornexSetup_${u%%$'\t'*}"); done
    scn_reg_snapshot "$prefix" "$work/$name/registry.tsv"
    scn_check "$prefix" "$work/$name/registry.tsv" "$scen_dir/$name.check" "$payload" || ok=1
  fi

  phase "stop"
  wine_stop_prefix "$prefix"
  phase "stopped"
  [ -n "$stub_pid" ] && wait "$stub_pid" 2>/dev/null
  if [ "$keep" -eq 0 ]; then rm -rf "$prefix"; fi
  return "$ok"
}

# ---------------------------------------------------------------- all of them
passed=0
failed=0
skipped=0
failed_names=()
t_all=$SECONDS
for name in "${names[@]}"; do
  if [ ! -f "$scen_dir/$name.steps" ]; then
    echo "FAIL $name: no such scenario"; failed=$((failed + 1)); failed_names+=("$name"); continue
  fi
  read_directives "$scen_dir/$name.steps" >/dev/null || true
  skip=""
  for f in "${d_needs[@]}"; do
    [[ $disabled == *" $f "* ]] && skip="needs $f"
  done
  if [ -n "$skip" ]; then
    echo "SKIP $name ($skip)"; skipped=$((skipped + 1)); continue
  fi
  mkdir -p "$work/$name"
  if [ "$d_layout" = package ] && ! make_package >"$work/$name/scenario.log" 2>&1; then
    echo "FAIL $name: the package could not be made"; sed 's/^/    | /' "$work/$name/scenario.log"
    failed=$((failed + 1)); failed_names+=("$name"); continue
  fi
  t0=$SECONDS
  if run_scenario "$name" >"$work/$name/scenario.log" 2>&1; then
    echo "PASS $name ($((SECONDS - t0)) s)"; passed=$((passed + 1))
  else
    echo "FAIL $name ($((SECONDS - t0)) s); log: ${work#"$root"/}/$name/scenario.log"
    sed 's/^/    | /' "$work/$name/scenario.log"
    failed=$((failed + 1)); failed_names+=("$name")
  fi
done
echo
[ "$failed" -eq 0 ] || echo "failed scenarios: ${failed_names[*]}"
echo "scenarios took $((SECONDS - t_all)) s"
echo "scenarios: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
