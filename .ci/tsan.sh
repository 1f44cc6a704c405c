#!/usr/bin/env bash
# The many-lines test under ThreadSanitizer: eight driver instances on eight
# pseudo-terminal lines to eight device simulators, polled from eight
# threads with reads, writes, report fetches, CloseCom/ReOpenCom and
# ChangeVpiParams, every result checked. Any ThreadSanitizer report fails
# the run, as does any failed transaction.
#
#   bash .ci/tsan.sh [SECONDS]   how long the lines run (25 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-25}
source .ci/ensure-packages.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}" libtsan2 util-linux

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake --preset tsan -DKOVRIN_WERROR=$werror >/dev/null
# Only what the test needs: the driver's objects, the stand-in host library,
# the simulator and the test support.
timeout 1800 cmake --build build-tsan --target many_lines_tests -j "$(nproc)"

export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1"
run=(build-tsan/tests/concurrency/many_lines_tests)
# Without address space randomisation: kernels that randomise more bits
# than this ThreadSanitizer knows make it stop at start-up.
if setarch "$(uname -m)" -R true 2>/dev/null; then run=(setarch "$(uname -m)" -R "${run[@]}"); fi
log=build-tsan/many_lines.log
status=0
KOVRIN_MANY_LINES_SECONDS=$seconds timeout $((seconds + 120)) "${run[@]}" >"$log" 2>&1 || status=$?
cat "$log"
if grep -q "WARNING: ThreadSanitizer" "$log"; then
  echo "ThreadSanitizer reported $(grep -c 'WARNING: ThreadSanitizer' "$log") race(s) in the many-lines test"
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "the many-lines test failed under ThreadSanitizer (exit status $status)"
  exit 1
fi
echo "many-lines test under ThreadSanitizer: $seconds s, no reports"
