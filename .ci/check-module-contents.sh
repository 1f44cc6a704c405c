#!/usr/bin/env bash
# Fails when the driver module carries test code: a test double in its symbol
# table (a name with fake, fault or script in it; "default" and
# "description" are words, not doubles) or the fake line's port name FAKE
# among its strings.
#
#   bash .ci/check-module-contents.sh path/to/kovrinsx.so
set -euo pipefail
module=${1:?usage: check-module-contents.sh MODULE}
[ -f "$module" ] || { echo "module check: no module at $module"; exit 1; }

failed=0
doubles=$(nm -C "$module" | sed -E 's/[Dd]efault|[Dd]escription//g' | grep -iE 'fake|fault|script' || true)
if [ -n "$doubles" ]; then
  echo "module check: $module holds test doubles:"
  printf '%s\n' "$doubles" | head -20
  failed=1
fi
if strings -a "$module" | grep -q 'FAKE'; then
  echo "module check: $module holds the string FAKE:"
  strings -a "$module" | grep 'FAKE' | head -5
  failed=1
fi
[ "$failed" = 0 ] && echo "module check: $module holds only driver code"
exit $failed
