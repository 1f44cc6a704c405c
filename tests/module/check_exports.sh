#!/bin/sh
# The module must define exactly one dynamic function symbol: VpiMain.
set -eu
module=$1
defined=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TtWiI]$/ {print $3}' | grep -v -x -E '_init|_fini' || true)
if [ "$defined" != "VpiMain" ]; then
  echo "exported functions of $module:"; echo "$defined"
  exit 1
fi
echo "exports: VpiMain only"
