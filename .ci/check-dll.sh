#!/usr/bin/env bash
# The Windows module exports VpiMain only and imports only from the host
# library, the system DLLs and the C runtime; it is built as a release:
# optimised, and stripped of debug sections.
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

# Stripped: no debug section and no symbol table.
debug_sections=$("$target-objdump" -h "$dll" | awk '$2 ~ /^\.(debug|zdebug)/ {print $2}' | tr '\n' ' ')
if [ -n "$debug_sections" ]; then
  echo "$dll carries debug sections ($debug_sections): build it with the mingw preset (Release, -s)"; exit 1
fi
if ! grep -q 'symbols stripped' <<<"$dump"; then
  echo "$dll carries a symbol table: build it with the mingw preset (Release, -s)"; exit 1
fi
# Optimised: without -O, GCC gives every function a frame pointer (mov
# %esp,%ebp), a third of the functions even with the optimised C++ runtime
# linked in; with -O2 only the few that need one (alloca, the runtime's
# unwinding) keep it.
code=$("$target-objdump" -d --no-show-raw-insn "$dll")
frames=$(grep -cE 'mov +%[er]sp,%[er]bp$' <<<"$code" || true)
returns=$(grep -cE '[[:space:]]ret[lq]?( |$)' <<<"$code" || true)
if [ "$returns" -eq 0 ] || [ $((frames * 100)) -gt $((returns * 10)) ]; then
  echo "$dll looks unoptimised: $frames frame pointer set-ups for $returns returns (more than 1 in 10)"; exit 1
fi
echo "$dll: optimised ($frames frame pointer set-ups for $returns returns) and stripped"

# The address dialog is what the module needs USER32 for: its template 101
# must then be a resource of the module itself.
if grep -qx USER32.DLL <<<"$imports"; then
  resources=$("$target-windres" -J coff -O rc -i "$dll" 2>/dev/null || true)
  if ! grep -q '^101 DIALOGEX' <<<"$resources" || ! grep -q '^CAPTION "Tag Format"' <<<"$resources"; then
    echo "$dll: dialog template 101 \"Tag Format\" is not among its resources"; exit 1
  fi
  echo "$dll: dialog template 101 \"Tag Format\" compiled in"
fi
