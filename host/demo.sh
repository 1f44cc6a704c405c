#!/usr/bin/env bash
# Builds the driver and runs vpihost, the host program, on the demo gates
# file against the built-in simulator: every gate kind, after fetching
# report 1 into the report-line gates. Installs what is missing.
# With arguments, runs vpihost with those instead (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/ensure-packages.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}"
# As tests/run.sh configures, so that the test command after this one
# builds on what this built.
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake --preset default -DKOVRIN_WERROR=$werror >/dev/null
cmake --build build -j "$(nproc)" --target vpihost kovrinsx >/dev/null
if [ $# -eq 0 ]; then
  set -- report '!R01' 1
fi
exec build/host/vpihost/vpihost "$@"
