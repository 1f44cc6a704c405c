#!/usr/bin/env bash
# Fails when a driver folder includes one of its own layer or a layer above
# it. The layers, from the top: entry (the entry point, the command table,
# the lifecycle, the init file); address, transfer and browse (the
# commands; transfer builds on address); serial; host_interface (the host's
# records and library); platform. Prints the folder graph (who includes
# whom).
#
#   bash .ci/check-include-graph.sh [SOURCE_ROOT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
folders=(entry address transfer browse serial host_interface platform)

edges=$(for from in "${folders[@]}"; do
  { grep -rhoE '^#include "[a-z_]+/' "$from" --include='*.cpp' --include='*.h' 2>/dev/null || true; } |
    sed -E 's/#include "([a-z_]+)\//\1/' | sort -u |
    while read -r to; do
      for known in "${folders[@]}"; do
        if [ "$to" = "$known" ] && [ "$to" != "$from" ]; then echo "$from $to"; fi
      done
    done
done)
echo "include graph of the driver folders:"
printf '%s\n' "${edges:-(none)}" | sed 's/^/  /'

failed=0
# A folder may include only folders of a lower layer.
rank() {
  case "$1" in
    entry) echo 5 ;;
    transfer | browse) echo 4 ;;
    address) echo 3 ;;
    serial) echo 2 ;;
    host_interface) echo 1 ;;
    platform) echo 0 ;;
  esac
}
while read -r from to; do
  [ -n "$from" ] || continue
  if [ "$(rank "$to")" -ge "$(rank "$from")" ]; then
    echo "include graph: $from/ includes $to/, which is not below it"
    failed=1
  fi
done <<<"$edges"
exit $failed
