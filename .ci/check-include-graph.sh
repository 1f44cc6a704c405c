#!/usr/bin/env bash
# Fails when the driver's folders include one another in a cycle, or when
# the serial layer or the OS layer reaches up into a folder above it.
# Prints the folder graph (who includes whom).
#
#   bash .ci/check-include-graph.sh [SOURCE_ROOT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
folders=(entry address transfer browse serial platform)

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
if ! printf '%s\n' "$edges" | tsort >/dev/null 2>&1; then
  echo "include graph: a cycle among the driver folders"
  failed=1
fi
# The layers below the transfers: serial uses only platform; platform
# nothing of the driver.
if printf '%s\n' "$edges" | grep -qE '^serial (entry|address|transfer|browse)$'; then
  echo "include graph: serial/ includes a folder above it"
  failed=1
fi
if printf '%s\n' "$edges" | grep -qE '^platform '; then
  echo "include graph: platform/ includes a driver folder"
  failed=1
fi
exit $failed
