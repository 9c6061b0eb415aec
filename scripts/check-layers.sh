#!/usr/bin/env bash
# The folders of src/ depend on each other one way only:
#   app -> ui -> install -> uninstall -> users -> records -> discovery -> platform
# A folder may include its own headers and those of the folders after it, never one before it.
# (app/ and ui/ hold Win32 hosts too; only they and platform/win32 include <windows.h>.)
set -uo pipefail
cd "$(dirname "$0")/.."
order=(app ui install uninstall users records discovery platform)
failed=0
for ((i = 0; i < ${#order[@]}; i++)); do
  folder=${order[$i]}
  allowed=("${order[@]:$i}")
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(sed -n 's/.*#include "\([a-z_]*\)\/.*/\1/p' <<<"${hit#*:}")
    ok=0
    for a in "${allowed[@]}"; do [ "$target" = "$a" ] && ok=1; done
    if [ "$ok" -eq 0 ]; then
      echo "FAIL: $file includes from $target/, which comes before $folder/: ${hit#*:}"
      failed=1
    fi
  done < <(grep -rn '^#include "[a-z_]*/' "src/$folder" --include=*.h --include=*.cpp)
done
windows=$(grep -rln --include=*.h --include=*.cpp '#include <windows.h>\|#include "platform/win32/windows_api.h"' src |
          grep -v -E '^src/(app|ui/win32|platform/win32)/' || true)
if [ -n "$windows" ]; then
  echo "FAIL: <windows.h> outside the Win32 hosts and adapters:"; echo "$windows"; failed=1
fi
[ "$failed" -eq 0 ] && echo "ok: every include points one way (${order[*]})"
exit "$failed"
