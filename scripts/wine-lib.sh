# Shared Wine tooling for the contract tests, the scenarios and the demo. Source it:
#   . scripts/wine-lib.sh
#   wine_ensure_locale zh_CN.UTF-8
#   prefix=$(wine_new_prefix build/wine/run-1)      # a private copy of the cached base prefix
#   wine_reg_import "$prefix" tests/fixtures/a.reg tests/fixtures/b.reg   # UTF-8 .reg files
#   wine_xvfb_start                                  # only for programs that open windows
#   LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 wine_run "$prefix" 60 build/win64/SetUp.exe; rc=$?
#   wine_stop_prefix "$prefix"; wine_xvfb_stop
# The base prefix is built under zh_CN.UTF-8; LANG chooses each run's ANSI code page (zh_CN: 936).
# Every process it starts is ended by its own id (Xvfb) or through its own prefix's wineserver.

WINE_LIB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
WINE_CACHE_DIR=${WINE_CACHE_DIR:-$WINE_LIB_ROOT/build/wine}
WINE_BASE_PREFIX=${WINE_BASE_PREFIX:-$WINE_CACHE_DIR/base}

export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko download dialogs: nothing here uses .NET or the HTML engine.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

wine_log() { echo "wine-lib: $*" >&2; }

# (a) Wine maps host file names through the C library's locale, so Chinese names need a real
# zh_CN.UTF-8 locale; Wine takes the ANSI code page (936) from LANG.
wine_ensure_locale() {
  local name=${1:-zh_CN.UTF-8}
  local lang=${name%%.*}
  local plain
  plain=$(echo "$name" | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')
  if locale -a 2>/dev/null | tr 'A-Z' 'a-z' | grep -qx "$plain"; then return 0; fi
  wine_log "creating locale $name"
  local sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" localedef -i "$lang" -f UTF-8 "$name"
}

# (c) `reg import` reads a file without a byte-order mark in the ANSI code page, which garbles
# Chinese; the repository keeps .reg files in UTF-8, so they go in as UTF-16LE with a BOM.
wine_reg_to_utf16() {
  local source=$1 target=$2
  if [ "$(head -c 2 "$source" | od -An -tx1 | tr -d ' ')" = "fffe" ]; then
    cp "$source" "$target"
    return
  fi
  { printf '\xff\xfe'; sed '1s/^\xef\xbb\xbf//' "$source" | iconv -f UTF-8 -t UTF-16LE; } >"$target"
}

# A host path as Wine sees it through drive Z: (the host's root).
wine_path() {
  local path
  path=$(readlink -f "$1")
  echo "Z:${path//\//\\}"
}

# Imports .reg files (UTF-8 or UTF-16) into a prefix, then waits until the prefix's wineserver
# has ended: otherwise the next program could join the import's session, whose desktop process
# was started without the X display that program needs.
wine_reg_import() {
  local prefix=$1
  shift
  local file tmp rc=0
  for file in "$@"; do
    tmp=$(mktemp --suffix=.reg)
    if wine_reg_to_utf16 "$file" "$tmp" &&
      WINEPREFIX=$prefix "$WINE" reg import "$(wine_path "$tmp")" >/dev/null 2>&1; then
      :
    else
      wine_log "reg import of $file failed"
      rc=1
    fi
    rm -f "$tmp"
  done
  WINEPREFIX=$prefix "$WINESERVER" -w >/dev/null 2>&1 || true
  return "$rc"
}

# Wine 8 has no SimSun, and its UI font (Tahoma) links for Chinese glyphs only to SimSun and
# Microsoft YaHei, which are missing too: message boxes show boxes instead of Chinese. So
# "宋体"/SimSun are substituted by WenQuanYi Micro Hei (fonts-wqy-microhei), and the UI fonts
# link to it first. Wine rewrites the Tahoma links when the code page changes, which is why the
# base prefix is built under the zh_CN locale that the Chinese runs use.
WINE_CJK_FONT_FILE=wqy-microhei.ttc
WINE_CJK_FONT_FACE="WenQuanYi Micro Hei"

# A REG_MULTI_SZ of one string as .reg hex(7) data: UTF-16LE, then two NUL terminators.
wine_reg_multi_sz_hex() {
  { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE; printf '\0\0\0\0'; } | od -An -v -tx1 |
    tr -s ' \n' ',' | sed 's/^,//; s/,$//'
}

wine_add_base_settings() {
  local prefix=$1
  local reg link
  reg=$(mktemp --suffix=.reg)
  link=$(wine_reg_multi_sz_hex "$WINE_CJK_FONT_FILE,$WINE_CJK_FONT_FACE")
  {
    printf 'Windows Registry Editor Version 5.00\n\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\n'
    local face
    for face in SimSun NSimSun 宋体 新宋体; do printf '"%s"="%s"\n' "$face" "$WINE_CJK_FONT_FACE"; done
    printf '\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\n'
    for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2" "Lucida Sans Unicode"; do
      printf '"%s"=hex(7):%s\n' "$face" "$link"
    done
    # Xvfb has no window manager: Wine then draws the frames and captions itself, so that
    # screenshots show them.
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Decorated"="N"\n"Managed"="N"\n'
  } >"$reg"
  wine_reg_import "$prefix" "$reg"
  local rc=$?
  rm -f "$reg"
  return "$rc"
}

wine_version() { "$WINE" --version 2>/dev/null; }

# (b) The base prefix is built once (several seconds) and cached; a stamp names the Wine version
# that built it, so an upgraded Wine rebuilds it. A lock keeps parallel runs from racing.
wine_base_prefix() {
  local stamp="$WINE_BASE_PREFIX/.vornex-base"
  local version
  # The recipe number changes whenever what goes into the base changes, so caches are rebuilt.
  version="$(wine_version) recipe 3"
  mkdir -p "$WINE_CACHE_DIR"
  (
    flock 9
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then exit 0; fi
    local building="$WINE_CACHE_DIR/base.building.$$"
    rm -rf "$building"
    wine_log "building the base Wine prefix ($version) in $WINE_BASE_PREFIX"
    # The prefix's own wineserver is the only one these commands start.
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
    wine_ensure_locale "$LANG" || exit 1
    WINEPREFIX=$building "$WINE" wineboot -i >/dev/null 2>&1 || { wine_log "wineboot failed"; exit 1; }
    WINEPREFIX=$building "$WINESERVER" -w
    wine_add_base_settings "$building" || exit 1
    WINEPREFIX=$building "$WINESERVER" -w
    echo "$version" >"$building/.vornex-base"
    rm -rf "$WINE_BASE_PREFIX"
    mv "$building" "$WINE_BASE_PREFIX"
  ) 9>"$WINE_CACHE_DIR/.base.lock" || return 1
  echo "$WINE_BASE_PREFIX"
}

# A private, fresh copy of the base prefix at $1 (replaced if present), in a fraction of a second;
# prints its path.
wine_new_prefix() {
  local dest=$1
  local base
  base=$(wine_base_prefix) || return 1
  mkdir -p "$(dirname "$dest")"
  dest=$(cd "$(dirname "$dest")" && pwd)/$(basename "$dest")
  if [ -d "$dest" ]; then
    wine_stop_prefix "$dest"
    rm -rf "$dest"
  fi
  # The big folders of Wine's own DLLs (630 MB), which nothing of ours writes, are hard-linked; the
  # rest (registry, user folders, settings) is a real copy, so a run never changes the base.
  local windows=drive_c/windows
  mkdir -p "$dest"
  tar -C "$base" --exclude="./$windows/system32" --exclude="./$windows/syswow64" --exclude="./$windows/winsxs" \
      -cf - . | tar -C "$dest" -xf - || return 1
  local d
  for d in system32 syswow64 winsxs; do
    [ -d "$base/$windows/$d" ] && { cp -al "$base/$windows/$d" "$dest/$windows/$d" || return 1; }
  done
  # Debian's Wine records a private server folder in the prefix; a copy gets its own.
  rm -f "$dest/wineserver"
  echo "$dest"
}

# (f) Ends every process of this prefix (and only of this prefix) and waits for its wineserver.
wine_stop_prefix() {
  local prefix=$1
  WINEPREFIX=$prefix "$WINESERVER" -k >/dev/null 2>&1 || true
  WINEPREFIX=$prefix "$WINESERVER" -w >/dev/null 2>&1 || true
}

# (d) A virtual X display on a display number Xvfb picks itself (-displayfd), so parallel runs
# never collide. Sets DISPLAY and WINE_XVFB_PID.
WINE_XVFB_PID=
wine_xvfb_start() {
  local geometry=${1:-1280x1024x24}
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 7 -screen 0 "$geometry" -nolisten tcp 7>"$fdfile" >/dev/null 2>&1 &
  WINE_XVFB_PID=$!
  local number=
  for _ in $(seq 1 100); do
    number=$(tr -dc '0-9' <"$fdfile")
    [ -n "$number" ] && break
    kill -0 "$WINE_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$fdfile"
  if [ -z "$number" ]; then
    wine_log "Xvfb did not start"
    wine_xvfb_stop
    return 1
  fi
  export DISPLAY=":$number"
}

wine_xvfb_stop() {
  if [ -n "$WINE_XVFB_PID" ]; then
    kill "$WINE_XVFB_PID" 2>/dev/null || true
    wait "$WINE_XVFB_PID" 2>/dev/null || true
    WINE_XVFB_PID=
  fi
}

# (e) Runs a Windows program in a prefix with a time limit (seconds). Returns the program's exit
# code (the low 8 bits, as Unix keeps them), or 124 when the limit was reached; in that case the
# prefix is stopped, since the program's Windows process outlives the killed launcher.
wine_run() {
  local prefix=$1 limit=$2 exe=$3
  shift 3
  local rc=0
  WINEPREFIX=$prefix timeout -k 5 "$limit" "$WINE" "$exe" "$@" || rc=$?
  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    wine_log "$(basename "$exe") did not finish within $limit s"
    wine_stop_prefix "$prefix"
    rc=124
  fi
  return "$rc"
}
