#!/usr/bin/env bash
# SetUp.exe is downloaded and run as it is: one stripped exe of at most 448 KB (458752 bytes) that
# needs no DLL beyond Windows' own. (msvcrt.dll, MinGW-w64's C runtime, is one of them: it ships
# with every Windows since 2000 as a system KnownDLL. Which DLLs may be imported at all is
# scripts/check-pe.sh's business.) For scale: NSIS's installer stub alone adds 34 KB, and a dialog
# program linked statically with MFC is measured in megabytes.
# Usage: scripts/check-size.sh [path/to/SetUp.exe]   (default: the win64 preset's build)
# To see what takes the room, build with -D SETUP_STRIP=OFF in a build folder of your own and run
#   x86_64-w64-mingw32-nm --size-sort -S -C <build>/src/SetUp.exe | tail -40
set -uo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/win64/src/SetUp.exe}
limit=491520
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

if [ ! -f "$exe" ]; then
  echo "no exe at $exe: build it first (cmake --preset win64 && cmake --build --preset win64 --target SetUp)"
  exit 1
fi
failed=0
size=$(stat -c %s "$exe")
echo "SetUp.exe: $size bytes ($(awk -v n="$size" 'BEGIN { printf "%.1f", n / 1024 }') KB), limit $limit bytes (480 KB)"
if [ "$size" -gt "$limit" ]; then
  echo "FAIL: $((size - limit)) bytes over the limit"
  failed=1
else
  echo "ok: $((limit - size)) bytes to spare"
fi

# Where the bytes are: the sections of the image.
headers=$("$objdump" -h "$exe") || { echo "FAIL: objdump cannot read $exe"; exit 1; }
while read -r _ name hex _; do
  [[ $name == .* ]] && printf '  %-8s %7d bytes\n' "$name" "$((16#$hex))"
done <<<"$headers"

# Stripped: no symbol table and no debug sections.
symbols=$("$objdump" -t "$exe" 2>/dev/null | grep -c '^\[' || true)
if grep -q ' \.debug_' <<<"$headers" || [ "$symbols" -gt 0 ]; then
  echo "FAIL: not stripped ($symbols symbols$(grep -q ' \.debug_' <<<"$headers" && echo ', debug sections'))"
  failed=1
else
  echo "ok: stripped (no symbols, no debug sections)"
fi

# Self-contained: none of the MinGW runtime DLLs a dynamic build would need beside it.
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
echo "imports: $(echo $imports)"
runtime=$(grep -iE '^(libstdc\+\+|libgcc|libwinpthread|api-ms-win-crt|ucrtbase|vcruntime|msvcp)' <<<"$imports" || true)
if [ -n "$runtime" ]; then
  echo "FAIL: needs runtime DLLs beside it: $(echo $runtime)"
  failed=1
else
  echo "ok: no runtime DLL beyond Windows' own"
fi

if [ "$failed" -eq 0 ]; then echo "size checks: ok"; else echo "size checks: FAILED"; fi
[ "$failed" -eq 0 ]
