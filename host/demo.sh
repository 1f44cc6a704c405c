#!/usr/bin/env bash
# Builds the driver and runs vpihost, the host program, against it.
# Installs what is missing. Extra arguments go to vpihost.
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/ensure-packages.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target vpihost kovrinsx >/dev/null
exec build/host/vpihost/vpihost "$@"
