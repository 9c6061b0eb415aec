#!/usr/bin/env bash
# Static analysis of src/: clang-tidy with the repository's .clang-tidy, and cppcheck. Host-built
# files are analysed with the host build's compile commands; the Windows-only ones (platform/win32,
# ui/win32, app) with the MinGW build's, retargeted for clang at x86_64-w64-mingw32 with MinGW's
# own C++ headers. Prints every finding and a count per check; fails when there is any.
# Usage: scripts/check-static.sh [--report]   (--report: print and count, but do not fail)
# The compile commands come from build/host and build/win64 (configured here when missing);
# STATIC_HOST_BUILD / STATIC_WIN_BUILD point elsewhere.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
report_only=0
[ "${1:-}" = "--report" ] && report_only=1
jobs=${JOBS:-2}
host_build=${STATIC_HOST_BUILD:-build/host}
win_build=${STATIC_WIN_BUILD:-build/win64}
work=build/static
mkdir -p "$work"

for tool in clang-tidy cppcheck python3; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh)"; exit 1; }
done
if [ ! -f "$host_build/compile_commands.json" ]; then
  cmake --preset host >/dev/null || exit 1
fi
if [ ! -f "$win_build/compile_commands.json" ]; then
  cmake --preset win64 >/dev/null || exit 1
fi

# Compile databases restricted to our sources: host-built files from the host build, the
# Windows-only folders from the MinGW build.
python3 - "$root" "$host_build" "$win_build" "$work" <<'PY'
import json, sys
root, host, win, work = sys.argv[1:]
windows_only = tuple(f"{root}/src/{d}/" for d in ("platform/win32", "ui/win32", "app"))
def pick(build, keep):
    entries = json.load(open(f"{build}/compile_commands.json"))
    return [e for e in entries if e["file"].startswith(f"{root}/src/") and keep(e["file"])]
host_db = pick(host, lambda f: not f.startswith(windows_only))
win_db = pick(win, lambda f: f.startswith(windows_only))
for name, db in (("host", host_db), ("win", win_db)):
    json.dump(db, open(f"{work}/{name}_db.json", "w"), indent=1)
    with open(f"{work}/{name}_files", "w") as out:
        out.writelines(e["file"] + "\n" for e in db)
# A source that neither build compiles yet (a stale configure) would pass unseen: name it.
import pathlib
known = {e["file"] for e in host_db + win_db}
missing = sorted(str(p) for p in pathlib.Path(root, "src").rglob("*.cpp") if str(p) not in known)
with open(f"{work}/missing_files", "w") as out:
    out.writelines(f"{m}: not in any compile database (configure the builds again)\n" for m in missing)
PY
[ $? -eq 0 ] || exit 1
mkdir -p "$work/host" "$work/win"
cp "$work/host_db.json" "$work/host/compile_commands.json"
cp "$work/win_db.json" "$work/win/compile_commands.json"
echo "files: $(wc -l <"$work/host_files") host-built, $(wc -l <"$work/win_files") Windows-only"

# clang knows where MinGW's C headers are, but not its libstdc++: take them from the cross g++.
mingw_cxx=$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++)
win_args=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++)
while read -r dir; do
  win_args+=("--extra-arg=-isystem$dir")
done < <(echo | "$mingw_cxx" -x c++ -E -v - 2>&1 | sed -n '/search starts here:/,/End of search/p' |
         sed -n 's/^ \(.*\/include\/c++.*\)$/\1/p')

tidy_log=$work/clang-tidy.log
: >"$tidy_log"
run_tidy() {  # db-dir file-list extra-args...
  local db=$1 list=$2
  shift 2
  [ -s "$list" ] || return 0
  # The compile commands are GCC's: options clang does not know (-Wno-restrict) are not findings.
  xargs -a "$list" -P "$jobs" -n 1 clang-tidy --quiet -p "$db" --extra-arg=-Wno-unknown-warning-option "$@" \
    >>"$tidy_log" 2>&1
  return 0
}
run_tidy "$work/host" "$work/host_files"
run_tidy "$work/win" "$work/win_files" "${win_args[@]}"

cppcheck_log=$work/cppcheck.log
# missingIncludeSystem: system headers are not given to cppcheck on purpose (it would analyse
# libstdc++ and windows.h instead of our code); its windows library file knows the Win32 API.
common=(--enable=warning,performance,portability --error-exitcode=1 --inline-suppr --std=c++20 --quiet -j "$jobs"
        --suppress=missingIncludeSystem --suppress='*:/usr/*'
        --template='{file}:{line}:{column}: {severity}: {message} [cppcheck-{id}]')
cppcheck_failed=0
cppcheck "${common[@]}" --project="$work/host_db.json" --platform=unix64 >"$cppcheck_log" 2>&1 || cppcheck_failed=1
if [ -s "$work/win_files" ]; then
  cppcheck "${common[@]}" --project="$work/win_db.json" --platform=win64 --library=windows -D_WIN32 -D_WIN64 \
    >>"$cppcheck_log" 2>&1 || cppcheck_failed=1
fi

# One line per finding (a header seen from several files counts once), then counts per check.
findings=$work/findings
{
  grep -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error): .*\[[a-z].*\]$' "$tidy_log" |
    sed "s|^$root/||; s/,-warnings-as-errors\]$/]/"
  grep -E '^[^ ]+:[0-9]+:[0-9]+: [a-z]+: .*\[cppcheck-' "$cppcheck_log" | sed "s|^$root/||"
  # A source no build compiles is a finding too: an analysis that did not run must not pass for
  # a clean one. (A file clang cannot compile shows up as clang-diagnostic-error above.)
  sed "s|^$root/||; s/\$/ [not-analysed]/" "$work/missing_files"
} | sort -u >"$findings"
if [ "$cppcheck_failed" -eq 1 ] && ! grep -q 'cppcheck-' "$findings"; then
  echo "cppcheck failed without a finding:"; tail -5 "$cppcheck_log"
  echo "src/: error: cppcheck did not run [cppcheck-not-run]" >>"$findings"
fi
broken=$(grep -c 'clang-diagnostic-error' "$findings" || true)

cat "$findings"
echo
echo "findings by check:"
sed -n 's/.*\[\([^]]*\)\]$/\1/p' "$findings" | tr ',' '\n' | sort | uniq -c | sort -rn
total=$(wc -l <"$findings")
echo "static analysis: $total findings ($broken files clang could not compile)"
[ "$report_only" -eq 1 ] && exit 0
[ "$total" -eq 0 ]
