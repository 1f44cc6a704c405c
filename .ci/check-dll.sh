#!/usr/bin/env bash
# The Windows module exports VpiMain only and imports only from the host
# library, the system DLLs and the C runtime.
#
#   bash .ci/check-dll.sh DLL [TARGET]   TARGET: i686-w64-mingw32 (default)
#                                        or x86_64-w64-mingw32
set -euo pipefail
dll=$1
target=${2:-i686-w64-mingw32}
dump=$("$target-objdump" -p "$dll")
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF; next} on {on=0}' <<<"$dump")
if [ "$exports" != "VpiMain" ]; then
  echo "unexpected exports of $dll:"; echo "$exports"; exit 1
fi
imports=$(awk '/DLL Name:/ {print toupper($3)}' <<<"$dump" | sort -u)
for dll_name in $imports; do
  case "$dll_name" in
    ZELPRO.DLL|KERNEL32.DLL|USER32.DLL|MSVCRT.DLL) ;;
    *) echo "unexpected import from $dll_name"; exit 1 ;;
  esac
done
echo "$dll: exports VpiMain only; imports from $(echo $imports | tr '\n' ' ')"

# The address dialog is what the module needs USER32 for: its template 101
# must then be a resource of the module itself.
if grep -qx USER32.DLL <<<"$imports"; then
  resources=$("$target-windres" -J coff -O rc -i "$dll" 2>/dev/null || true)
  if ! grep -q '^101 DIALOGEX' <<<"$resources" || ! grep -q '^CAPTION "Tag Format"' <<<"$resources"; then
    echo "$dll: dialog template 101 \"Tag Format\" is not among its resources"; exit 1
  fi
  echo "$dll: dialog template 101 \"Tag Format\" compiled in"
fi
