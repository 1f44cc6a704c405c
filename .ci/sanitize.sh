#!/usr/bin/env bash
# The whole test suite again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer; any report aborts its test and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/ensure-packages.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}" socat libmodbus-dev python3

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake --preset sanitize -DKOVRIN_WERROR=$werror >/dev/null
cmake --build build-sanitize -j "$(nproc)"
# detect_leaks: LeakSanitizer runs at every test program's exit.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Not the benchmark check: its instruction budget runs the program under
# valgrind, which cannot run a sanitized build (the normal suite checks it).
ctest --test-dir build-sanitize -j 2 --output-on-failure -E '^bench_check$'
