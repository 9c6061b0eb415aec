# Helpers of the scenario tests and the demo, on top of wine-lib.sh. Source it:
#   . scripts/scenario-lib.sh
#   prefix=$(scn_new_prefix build/scenarios/two-releases)   # quick private copy of the base prefix
#   scn_place_setup "$prefix" data build/win64/src/SetUp.exe demo/payload 'C:\Setup'
#   scn_make_acad_dir "$prefix" 'C:\Program Files\Autodesk\AutoCAD 2010'
#   scn_driver "$prefix" 60 log.txt --exe 'C:\Setup\SetUp.exe' --script steps.steps
#   scn_reg_snapshot "$prefix" reg.tsv; scn_check "$prefix" reg.tsv checks.check demo/payload
#   wine_stop_prefix "$prefix"
# Every process started here belongs to the prefix's own wineserver and ends with it.

SCN_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-lib.sh
. "$SCN_LIB_DIR/wine-lib.sh"

scn_log() { echo "scenario-lib: $*" >&2; }

# A private copy of the base prefix at $1 (see wine_new_prefix).
scn_new_prefix() { wine_new_prefix "$@"; }

# The host path of a Windows path on a drive of the prefix (C:, or one made by scn_add_drive).
# Existing components are matched without regard to letter case, as Windows would; missing ones
# are kept as written.
scn_unix_path() {
  local prefix=$1 winpath=$2
  local letter=${winpath:0:1}
  letter=${letter,,}
  if [[ ! $winpath =~ ^[A-Za-z]:\\ ]] || [ ! -d "$prefix/dosdevices/$letter:" ]; then
    scn_log "not a path on a drive of the prefix: $winpath"
    return 1
  fi
  local rest=${winpath:3}
  local path
  path=$(cd "$prefix/dosdevices/$letter:" && pwd -P)
  local comp found
  local IFS='\'
  for comp in $rest; do
    [ -z "$comp" ] && continue
    if [ -e "$path/$comp" ]; then
      path=$path/$comp
      continue
    fi
    found=
    if [ -d "$path" ]; then
      found=$(find "$path" -mindepth 1 -maxdepth 1 -iname "$comp" -print -quit 2>/dev/null)
    fi
    path=${found:-$path/$comp}
  done
  echo "$path"
}

# Gives the prefix a drive (a letter D-Y) backed by a folder drive_<letter> inside it; Wine finds
# it through dosdevices as it finds C:, as a fixed disk.
scn_add_drive() {
  local prefix=$1 letter=${2,,}
  letter=${letter%:}
  [[ $letter =~ ^[d-y]$ ]] || { scn_log "not a drive letter to add: $2"; return 1; }
  mkdir -p "$prefix/drive_$letter" && ln -sfn "../drive_$letter" "$prefix/dosdevices/$letter:"
}

# An AutoCAD install folder as AutoCAD leaves it: Fonts, Drv with its own PDF driver, Support.
scn_make_acad_dir() {
  local prefix=$1 winpath=$2
  local dir
  dir=$(scn_unix_path "$prefix" "$winpath") || return 1
  mkdir -p "$dir/Fonts" "$dir/Drv" "$dir/Support"
  printf 'AutoCAD demo install folder: stands in for acad.exe.\r\n' >"$dir/acad.exe.txt"
  printf "AutoCAD's own PDF plotter driver (demo stand-in).\r\n" >"$dir/Drv/pdfplot9.hdi"
  printf "AutoCAD's own font (demo stand-in).\r\n" >"$dir/Fonts/txt.shx"
}

# Puts SetUp.exe into the prefix at a Windows folder, with the payload as the layout asks:
#   data  the payload in a "Data" folder beside SetUp.exe
#   flat  the payload files loose beside SetUp.exe
#   none  SetUp.exe alone
scn_place_setup() {
  local prefix=$1 layout=$2 setup_exe=$3 payload=$4 winfolder=$5
  local dir
  dir=$(scn_unix_path "$prefix" "$winfolder") || return 1
  mkdir -p "$dir"
  cp "$setup_exe" "$dir/SetUp.exe" || return 1
  case "$layout" in
    data) mkdir -p "$dir/Data" && cp "$payload"/* "$dir/Data/" ;;
    flat) cp "$payload"/* "$dir/" ;;
    none) ;;
    *) scn_log "unknown layout: $layout"; return 1 ;;
  esac
}

# Runs driver.exe in the prefix with an outer time limit on top of the driver's own; its output
# (UTF-8) goes to the log. Returns the driver's exit code, 124 when the outer limit struck.
scn_driver() {
  local prefix=$1 limit=$2 log=$3
  shift 3
  local rc=0
  WINEPREFIX=$prefix timeout -k 5 "$limit" "$WINE" "$SCN_DRIVER_EXE" --limit "$((limit - 5))" "$@" >"$log" 2>&1 || rc=$?
  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    echo "FAIL: the driver did not finish within $limit s" >>"$log"
    rc=124
  fi
  return "$rc"
}

# The Autodesk keys of the prefix's registry, as one line per value:
#   KEY<TAB>NAME<TAB>TYPE<TAB>DATA      (KEY as exported, NAME "@" for the default value)
# and one line "KEY" alone per key, so that keys without values are seen too. DWORDs are
# written in decimal, strings unescaped.
scn_reg_snapshot() {
  local prefix=$1 out=$2
  local tmp
  tmp=$(mktemp -d)
  local roots=('HKLM\SOFTWARE\Autodesk' 'HKLM\SOFTWARE\Wow6432Node\Autodesk' 'HKCU\Software\Autodesk'
    'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VornexSetup' ${SCN_EXTRA_ROOTS[@]+"${SCN_EXTRA_ROOTS[@]}"})
  # One batch file, so that one cmd runs the exports (command-line quoting through
  # cmd /c garbles key names with blanks).
  local bat=$tmp/export.bat i=0 r
  printf '@echo off\r\n' >"$bat"
  for r in "${roots[@]}"; do
    printf 'reg export "%s" "%s\\r%d.reg" /y >nul 2>nul\r\n' "$r" "$(wine_path "$tmp")" "$i" >>"$bat"
    i=$((i + 1))
  done
  WINEPREFIX=$prefix timeout -k 5 60 "$WINE" cmd /c "$(wine_path "$bat")" >/dev/null 2>&1
  : >"$out"
  local f
  for f in "$tmp"/r*.reg; do
    [ -f "$f" ] || continue
    iconv -f UTF-16 -t UTF-8 "$f" | tr -d '\r' | scn_reg_flatten >>"$out"
  done
  rm -rf "$tmp"
}

# Another user with a profile who is not signed in: his keys (FILE.reg, written under
# HKEY_USERS\SID; none: no hive file at all, as for a roaming profile not on this machine) go into a hive file, <profile>\NTUSER.DAT, made by Wine's RegSaveKey from a key of
# their own under HKLM (Wine keeps no key made directly under HKEY_USERS), and ProfileList names it.
scn_add_user() {
  local prefix=$1 regtool=$2 sid=$3 profile=$4 reg=$5
  local staging='SOFTWARE\VornexScenarioHive' tmp text
  tmp=$(mktemp --suffix=.reg)
  if [ -n "$reg" ]; then
    text=$(<"$reg")
    printf '%s\n' "${text//"HKEY_USERS\\$sid"/"HKEY_LOCAL_MACHINE\\$staging"}" >"$tmp"
  fi
  mkdir -p "$(scn_unix_path "$prefix" "$profile")" &&
    { [ -z "$reg" ] || {
      wine_reg_import "$prefix" "$tmp" &&
        WINEPREFIX=$prefix "$WINE" "$regtool" save-hive "HKLM\\$staging" "$profile\\NTUSER.DAT" >/dev/null &&
        WINEPREFIX=$prefix "$WINE" reg delete "HKLM\\$staging" /f >/dev/null 2>&1
    }; } &&
    WINEPREFIX=$prefix "$WINE" reg add "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\$sid" \
      /v ProfileImagePath /t REG_EXPAND_SZ /d "$profile" /f >/dev/null 2>&1
  local rc=$?
  rm -f "$tmp"
  [ "$rc" -eq 0 ] || scn_log "user $sid could not be set up"
  return "$rc"
}

# The machine's state for same-as-before: the registry snapshot above, upper-cased (AutoCAD compares
# trusted paths without case, and the installation upper-cases them), and every file of the C:
# drive outside Windows' own folders and the temporary ones, with its content's digest.
scn_state() {
  local prefix=$1 out=$2
  scn_reg_snapshot "$prefix" "$out.reg"
  tr '[:lower:]' '[:upper:]' <"$out.reg" | sort >"$out.reg.upper"
  (cd "$prefix/drive_c" && find . \( -path ./windows -o -path './users/*/Temp' -o -path './users/*/AppData/Local' \
    -o -path './ProgramData' -o -path './Program Files/Common Files' -o -path './Program Files (x86)' \) -prune \
    -o -type f -print0 | sort -z | xargs -0 -r md5sum) >"$out.files"
}

# .reg text (UTF-8) to the flat form of scn_reg_snapshot.
scn_reg_flatten() {
  awk '
    function unescape(s,   out, i, c) {
      out = ""
      for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (c == "\\" && i < length(s)) { i++; c = substr(s, i, 1) }
        out = out c
      }
      return out
    }
    function hexval(h,   i, v, d) {
      v = 0
      h = tolower(h)
      for (i = 1; i <= length(h); i++) { d = index("0123456789abcdef", substr(h, i, 1)) - 1; v = v * 16 + d }
      return v
    }
    /^\[.*\]$/ { key = substr($0, 2, length($0) - 2); print key; next }
    key == "" { next }
    {
      line = $0
      while (line ~ /\\$/ && (getline more) > 0) { sub(/\\$/, "", line); sub(/^ +/, "", more); line = line more }
      if (substr(line, 1, 1) == "@") { name = "@"; rest = substr(line, 3) }
      else if (substr(line, 1, 1) == "\"") {
        # the name ends at the first quote not escaped by a backslash
        for (i = 2; i <= length(line); i++) {
          c = substr(line, i, 1)
          if (c == "\\") { i++; continue }
          if (c == "\"") break
        }
        name = unescape(substr(line, 2, i - 2)); rest = substr(line, i + 2)
      } else next
      if (substr(rest, 1, 1) == "\"") { type = "REG_SZ"; data = unescape(substr(rest, 2, length(rest) - 2)) }
      else if (rest ~ /^dword:/) { type = "REG_DWORD"; data = hexval(substr(rest, 7)) }
      else if (rest ~ /^hex\(2\):/) { type = "REG_EXPAND_SZ"; data = substr(rest, 8) }
      else if (rest ~ /^hex\(7\):/) { type = "REG_MULTI_SZ"; data = substr(rest, 8) }
      else if (rest ~ /^hex:/) { type = "REG_BINARY"; data = substr(rest, 5) }
      else { type = "OTHER"; data = rest }
      print key "\t" name "\t" type "\t" data
    }'
}

# Splits one line of a check file into SCN_TOKENS: words separated by blanks, "double" or
# 'single' quotes around a word with blanks (or with the other kind of quote); backslashes stand
# for themselves.
scn_tokenize() {
  local line=$1
  SCN_TOKENS=()
  local re="^[[:space:]]*(\"([^\"]*)\"|'([^']*)'|([^[:space:]\"']+))"
  while [[ $line =~ $re ]]; do
    if [ -n "${BASH_REMATCH[4]}" ]; then SCN_TOKENS+=("${BASH_REMATCH[4]}")
    elif [ "${BASH_REMATCH[1]:0:1}" = "'" ]; then SCN_TOKENS+=("${BASH_REMATCH[3]}")
    else SCN_TOKENS+=("${BASH_REMATCH[2]}"); fi
    line=${line:${#BASH_REMATCH[0]}}
  done
  [[ $line =~ ^[[:space:]]*$ ]]
}

# Expands the names a check file may use: %APPDATA%, the prefix's roaming application-data folder,
# and %TEMP%, its temporary folder (Wine's HKCU\Environment sets it for every process, whatever
# the host's TEMP), or the scenario's own APPDATA and TEMP when it sets them.
scn_expand() {
  local s=$1
  s=${s//%APPDATA%/${SCN_APPDATA:-C:\\users\\$(id -un)\\AppData\\Roaming}}
  s=${s//%TEMP%/${SCN_TEMP:-C:\\users\\$(id -un)\\Temp}}
  s=${s//%MSI_PRODUCT%/${SCN_MSI_PRODUCT:-}}
  echo "$s"
}

# Key names compare without regard to letter case, as in the registry; hive names are written
# out as reg export does.
scn_key_norm() {
  local k=$1
  case "$k" in
    HKLM\\*) k="HKEY_LOCAL_MACHINE\\${k#HKLM\\}" ;;
    HKCU\\*) k="HKEY_CURRENT_USER\\${k#HKCU\\}" ;;
    HKU\\*) k="HKEY_USERS\\${k#HKU\\}" ;;
  esac
  echo "${k,,}"
}

# Prints the TYPE<TAB>DATA of a value from a snapshot, nothing if absent.
scn_reg_get() {
  local snap=$1 key name=$3
  key=$(scn_key_norm "$2")
  # Through the environment: awk -v would read the backslashes of a key as escapes.
  K=$key N=$name awk -F'\t' 'NF == 4 && tolower($1) == ENVIRON["K"] && tolower($2) == tolower(ENVIRON["N"]) { print $3 "\t" $4; exit }' "$snap"
}

scn_reg_has_key() {
  local snap=$1 key
  key=$(scn_key_norm "$2")
  K=$key awk -F'\t' 'tolower($1) == ENVIRON["K"] { found = 1; exit } END { exit !found }' "$snap"
}

# The lines of a check file with its "include OTHER.check" lines replaced by that file's lines.
scn_check_lines() {
  local file=$1 depth=${2:-0} line
  if [ "$depth" -gt 8 ]; then echo "include-loop $file"; return; fi
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%$'\r'}
    if [[ $line =~ ^[[:space:]]*include[[:space:]]+([^[:space:]]+)[[:space:]]*$ ]]; then
      if [ -f "$(dirname "$file")/${BASH_REMATCH[1]}" ]; then
        scn_check_lines "$(dirname "$file")/${BASH_REMATCH[1]}" $((depth + 1))
      else
        echo "include-missing ${BASH_REMATCH[1]}"
      fi
    else
      printf '%s\n' "$line"
    fi
  done <"$file"
}

# Runs the checks of a check file against the prefix and a registry snapshot taken after the run.
# One check per line ("#" starts a comment):
#   reg-value KEY NAME TYPE DATA     the value exists with that type and data (DWORD in decimal)
#   reg-no-value KEY NAME            the value does not exist
#   reg-key KEY / reg-no-key KEY     the key exists / does not exist
#   reg-subkeys KEY A B ...          the key's direct sub-keys are exactly these (any order)
#   file PATH [same-as PAYLOADFILE | same-as-file PATH2 | text "LINE" | empty]
#   no-file PATH / dir PATH / no-dir PATH
#   dir-files PATH A B ...           the folder holds exactly these files (any order, no sub-folders counted)
#   log-contains PATH "TEXT"         a log as SetUp.exe writes one (UTF-8 with a byte-order mark,
#                                    every line ended by CRLF) with TEXT in one of its lines
#   not CHECK                        the check must fail
#   include OTHER.check              the checks of another check file in the same folder
#   same-as-before [PATH...]         the registry (without regard to case) and the C: drive as
#                                    "#@ snapshot-before" found them, but for the files named
# Prints each failed check; returns the number of failures (0 = all passed).
scn_check() {
  local prefix=$1 snap=$2 checks=$3 payload=$4
  local failures=0 n=0 line
  local -a t
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%$'\r'}
    [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
    if ! scn_tokenize "$line"; then echo "  check: cannot read: $line"; failures=$((failures + 1)); continue; fi
    t=("${SCN_TOKENS[@]}")
    # "not CHECK": the check must fail; the checker's own test uses it.
    local negate=0
    if [ "${t[0]}" = not ]; then negate=1; t=("${t[@]:1}"); fi
    local i
    for i in "${!t[@]}"; do t[$i]=$(scn_expand "${t[$i]}"); done
    n=$((n + 1))
    local why=""
    case "${t[0]}" in
      reg-value)
        local got want
        got=$(scn_reg_get "$snap" "${t[1]}" "${t[2]}")
        want="${t[3]}"$'\t'"${t[4]}"
        [ "$got" = "$want" ] || why="found ${got:-nothing}"
        ;;
      reg-no-value)
        local got
        got=$(scn_reg_get "$snap" "${t[1]}" "${t[2]}")
        [ -z "$got" ] || why="found $got"
        ;;
      reg-key) scn_reg_has_key "$snap" "${t[1]}" || why="no such key" ;;
      reg-no-key) ! scn_reg_has_key "$snap" "${t[1]}" || why="the key exists" ;;
      reg-subkeys)
        local key have want
        key=$(scn_key_norm "${t[1]}")
        have=$(K=$key awk -F'\t' 'NF == 1 { k = ENVIRON["K"]; l = tolower($1); if (index(l, k "\\") == 1) { r = substr($1, length(k) + 2); if (index(r, "\\") == 0) print r } }' "$snap" | sort | tr '\n' '|')
        want=$(printf '%s\n' "${t[@]:2}" | sed '/^$/d' | sort | tr '\n' '|')
        [ "${have,,}" = "${want,,}" ] || why="found ${have:-none}"
        ;;
      file | no-file | dir | no-dir | dir-files)
        local p
        p=$(scn_unix_path "$prefix" "${t[1]}")
        case "${t[0]}" in
          file)
            if [ ! -f "$p" ]; then why="missing"
            else
              case "${t[2]:-}" in
                "") ;;
                same-as) cmp -s "$p" "$payload/${t[3]}" || why="differs from payload file ${t[3]}" ;;
                same-as-file) cmp -s "$p" "$(scn_unix_path "$prefix" "${t[3]}")" || why="differs from ${t[3]}" ;;
                text) grep -qxF -- "${t[3]}" <(tr -d '\r' <"$p") || why="has no line \"${t[3]}\": $(head -c 200 "$p")" ;;
                empty) [ ! -s "$p" ] || why="not empty" ;;
                *) why="unknown file check ${t[2]}" ;;
              esac
            fi
            ;;
          no-file) [ ! -e "$p" ] || why="exists" ;;
          dir) [ -d "$p" ] || why="missing" ;;
          no-dir) [ ! -e "$p" ] || why="exists" ;;
          dir-files)
            local have want
            if [ ! -d "$p" ]; then why="missing"
            else
              have=$(find "$p" -mindepth 1 -maxdepth 1 -type f -printf '%f\n' | sort | tr '\n' '|')
              want=$(printf '%s\n' "${t[@]:2}" | sed '/^$/d' | sort | tr '\n' '|')
              [ "$have" = "$want" ] || why="holds ${have:-nothing}"
            fi
            ;;
        esac
        ;;
      log-contains)
        local p
        p=$(scn_unix_path "$prefix" "${t[1]}")
        if [ ! -f "$p" ]; then why="no log"
        elif [ "$(head -c 3 "$p" | od -An -tx1 | tr -d ' \n')" != efbbbf ]; then why="no UTF-8 byte-order mark"
        elif ! iconv -f UTF-8 -t UTF-8 "$p" >/dev/null 2>&1; then why="not UTF-8"
        elif [ "$(LC_ALL=C grep -vc $'\r$' "$p")" -ne 0 ] || [ "$(tail -c 2 "$p" | od -An -tx1 | tr -d ' \n')" != 0d0a ]; then
          why="a line does not end in CRLF"
        # grep reads to the end (no -q): stopping at the first match would break the pipe under
        # pipefail, and a log longer than the pipe's buffer would seem not to hold the text.
        elif ! sed '1s/^\xef\xbb\xbf//' "$p" | tr -d '\r' | grep -F -- "${t[2]}" >/dev/null; then
          why="no line holds \"${t[2]}\"; the log:"$'\n'"$(tr -d '\r' <"$p" | tail -n 20 | sed 's/^/          | /')"
        fi
        ;;
      same-as-before)
        if [ -z "${SCN_BEFORE:-}" ] || [ ! -f "$SCN_BEFORE.files" ]; then why="no snapshot-before"
        else
          scn_state "$prefix" "$SCN_BEFORE.after"
          local skip=() x
          for x in "${t[@]:1}"; do skip+=("./$(printf '%s' "${x:3}" | tr '\\' /)"); done
          local d_reg d_files
          d_reg=$(diff "$SCN_BEFORE.reg.upper" "$SCN_BEFORE.after.reg.upper" | grep '^[<>]' | head -10)
          d_files=$(diff <(grep -vF -f <(printf '%s\n' "${skip[@]:-/nothing/}") "$SCN_BEFORE.files") \
            <(grep -vF -f <(printf '%s\n' "${skip[@]:-/nothing/}") "$SCN_BEFORE.after.files") | grep '^[<>]' | head -10)
          [ -z "$d_reg$d_files" ] || why="differs from before:"$'\n'"$d_reg"$'\n'"$d_files"
        fi
        ;;
      include-missing) why="no such check file" ;;
      include-loop) why="the includes go round in a loop" ;;
      *) why="unknown check" ;;
    esac
    if [ "$negate" -eq 1 ]; then
      if [ -n "$why" ]; then why=""; else why="passed, but must fail"; fi
    fi
    if [ -n "$why" ]; then
      failures=$((failures + 1))
      echo "  check failed: $line"
      echo "        $why"
    fi
  done < <(scn_check_lines "$checks")
  echo "  $n check(s), $failures failed"
  return "$failures"
}
