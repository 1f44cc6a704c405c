#!/usr/bin/env bash
# Builds everything and runs the whole test suite. Installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/ensure-packages.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}" socat libmodbus-dev pkg-config mbpoll python3

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake --preset default -DKOVRIN_WERROR=$werror >/dev/null
cmake --build build -j "$(nproc)"
ctest --test-dir build -j 2 --output-on-failure
