#!/usr/bin/env bash
# Checks the built SetUp.exe the way a loader sees it: a 64-bit image whose import table names
# only system DLLs that cannot be planted beside it, with ASLR (relocatable, high-entropy) and DEP.
# Usage: scripts/check-pe.sh [path/to/SetUp.exe]   (default: the win64 preset's build)
set -uo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/win64/src/SetUp.exe}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

if [ ! -f "$exe" ]; then
  echo "no exe at $exe: build it first (cmake --preset win64 && cmake --build --preset win64 --target SetUp)"
  exit 1
fi

# The DLLs SetUp.exe may import statically. Static imports are resolved before the first line of
# our code runs, so SetDefaultDllDirectories cannot protect them: each one must be found by the
# loader somewhere a user cannot drop a file, never in the folder SetUp.exe was started from.
# - KERNEL32, ADVAPI32 and msvcrt (MinGW-w64's C runtime) are KnownDLLs: the loader maps them from
#   the system's section objects and never searches for them.
# - USER32 and GDI32, KnownDLLs too, are delay-loaded (cmake/DelayLoad.cmake): an unattended run
#   opens no window and must not pay for starting them. A static import of either is refused: it
#   means the delay libraries fell off the link line.
# - SHELL32 and OLE32, KnownDLLs too, serve the folder chooser alone and are loaded when it first
#   opens, after the restriction: imported, they and what their start-up code loads would come
#   before wWinMain on every start. An import of either is refused.
# - COMCTL32 is not a KnownDLL: start-up loads it at run time, after the DLL search has been
#   restricted to the system folder (and the manifest's Common Controls 6.0 dependency sends it
#   to the side-by-side store). A static import would be resolved before that restriction, so it
#   is refused.
# - Not allowed: api-ms-win-crt-* (the UCRT). They are API sets on Windows 10 and later, but
#   plain files on Windows 7/8 with the UCRT update, found through the normal search order
#   starting with the exe's folder. The msvcrt build needs none of them.
allowed="KERNEL32.DLL ADVAPI32.DLL MSVCRT.DLL"
# The DLLs SetUp.exe may delay-load: KnownDLLs alone, since the delay-load helper asks for them by
# bare name; and each must be delay-loaded, or it would be imported (and refused above) or missing.
delay_allowed="USER32.DLL GDI32.DLL"

dump=$("$objdump" -p "$exe") || { echo "objdump cannot read $exe"; exit 1; }
failed=0
fail() { echo "FAIL: $*"; failed=1; }

echo "exe: $exe ($(stat -c %s "$exe") bytes)"

grep -q 'Magic.*(PE32+)' <<<"$dump" || fail "not a 64-bit (PE32+) image"

imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr -d '\r' | tr '[:lower:]' '[:upper:]' | sort -u)
# Prints each DLL of $2 under the heading $1, marking and failing one not in the list $3.
list_against() {
  local dll
  echo "$1:"
  for dll in $2; do
    if grep -qw -- "$dll" <<<"$3"; then
      echo "  $dll"
    else
      echo "  $dll  <- not on the $4"
      failed=1
    fi
  done
}
list_against imports "$imports" "$allowed" allow-list
[ -n "$imports" ] || fail "no import table found"

# Delay imports. GNU ld leaves the header's Delay Import Directory empty for dlltool's delay
# libraries: their descriptors, with the DLL's name, sit in .idata among the ordinary imports', and
# the helper finds them from the call thunks alone. So the DLL names in .idata that the import table
# does not list are the delay-loaded ones. A filled directory comes from some other linker, whose
# layout this check does not know: refused rather than passed unseen.
grep -qE '^Entry d 0+ 0+ Delay Import Directory' <<<"$dump" ||
  fail "the image has a Delay Import Directory, which this check cannot read"
idata=$("$objdump" -h "$exe" | awk '$2 == ".idata" {print $3, $6}')
if [ -z "$idata" ]; then
  fail "no .idata section"
else
  read -r idata_size idata_offset <<<"$idata"
  named=$(tail -c +$((16#$idata_offset + 1)) "$exe" | head -c $((16#$idata_size)) | strings -a -n 5 |
          grep -iE '^[A-Za-z0-9_.-]+\.(dll|drv)$' | tr '[:lower:]' '[:upper:]' | sort -u)
  delayed=$(comm -23 <(echo "$named") <(echo "$imports") | sed '/^$/d')
  list_against delay-loaded "$delayed" "$delay_allowed" "delay-load allow-list"
  for dll in $delay_allowed; do
    grep -qxF -- "$dll" <<<"$delayed" || fail "$dll is not delay-loaded"
  done
fi

# DllCharacteristics: DYNAMIC_BASE 0x40, HIGH_ENTROPY_VA 0x20, NX_COMPAT 0x100.
dllchars=$(sed -n 's/^DllCharacteristics[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$dump")
[ -n "$dllchars" ] || fail "no DllCharacteristics in the optional header"
value=$((16#${dllchars:-0}))
printf 'DllCharacteristics: 0x%04x\n' "$value"
for flag in "DYNAMIC_BASE 0x40" "HIGH_ENTROPY_VA 0x20" "NX_COMPAT 0x100"; do
  set -- $flag
  if (( value & $2 )); then echo "  $1 ($2): set"; else fail "$1 ($2) not set"; fi
done

# ASLR moves the image only if it can be relocated: the relocations must be there.
characteristics=$(sed -n 's/^Characteristics 0x\([0-9a-fA-F]*\).*/\1/p' <<<"$dump" | head -1)
if (( 16#${characteristics:-0} & 0x1 )); then
  fail "IMAGE_FILE_RELOCS_STRIPPED is set: the image cannot be moved"
fi
reloc=$(sed -n 's/^Entry 5 [0-9a-fA-F]* \([0-9a-fA-F]*\) Base Relocation Directory.*/\1/p' <<<"$dump")
if [ -n "$reloc" ] && (( 16#$reloc > 0 )); then
  echo "base relocations: 0x$reloc bytes (.reloc)"
else
  fail "no base relocation directory: ASLR cannot relocate the image"
fi

if [ "$failed" -eq 0 ]; then echo "PE checks: ok"; else echo "PE checks: FAILED"; fi
[ "$failed" -eq 0 ]
