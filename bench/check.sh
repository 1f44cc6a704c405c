#!/usr/bin/env bash
# CI check of the benchmark's deterministic figures, against the libmodbus
# test slave on a pseudo-terminal:
#  - the driver's transfer path makes no heap allocation after ColdStart
#    (every scenario);
#  - a single-register read costs no more user-space instructions than
#    bench/budget.txt allows (callgrind, two run lengths subtracted). Skipped
#    with a message when valgrind is missing or the build is not optimised.
#
#   bash bench/check.sh KOVRIN_BENCH KOVRIN_BENCH_SLAVE [BUILD_TYPE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bench=$1
slave_program=$2
build_type=${3:-}

work=$(mktemp -d)
slave_pid=""
cleanup() {
  if [ -n "$slave_pid" ]; then kill "$slave_pid" 2>/dev/null || true; wait "$slave_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export VPI_COM_DIR=$work

"$slave_program" --link "$work/com1" >/dev/null &
slave_pid=$!
for _ in $(seq 500); do [ -e "$work/com1" ] && break; sleep 0.01; done
[ -e "$work/com1" ] || { echo "bench check: the slave did not start"; exit 1; }

failed=0
while read -r scenario _; do
  count=50
  [ "$scenario" = report64 ] && count=3
  line=$("$bench" cost --master driver --scenario "$scenario" --count "$count") || {
    echo "bench check: $scenario: transactions failed ($line)"
    failed=1
    continue
  }
  allocations=${line##*allocations=}
  if [ "$allocations" != 0 ]; then
    echo "bench check: $scenario: $allocations heap allocations in $count transactions after ColdStart"
    failed=1
  else
    echo "bench check: $scenario: no heap allocation in $count transactions"
  fi
done < <("$bench" scenarios)

budget=$(awk '$1 == "read1_instructions" { print $2 }' "$here/budget.txt")
case "$build_type" in
  RelWithDebInfo | Release) optimised=1 ;;
  *) optimised=0 ;;
esac
if ! command -v valgrind >/dev/null; then
  echo "bench check: valgrind not installed, instruction budget not checked (apt-get install valgrind)"
elif [ "$optimised" = 0 ]; then
  echo "bench check: build type '${build_type}' is not optimised, instruction budget not checked"
else
  instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bench" cost --master driver --scenario read1 \
      --count "$1" 2>&1 >/dev/null | sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
  }
  short=$(instructions 100)
  long=$(instructions 600)
  per=$(( (long - short) / 500 ))
  if [ "$per" -gt "$budget" ]; then
    echo "bench check: a single-register read takes $per instructions, over the budget of $budget (bench/budget.txt)"
    failed=1
  else
    echo "bench check: a single-register read takes $per instructions (budget $budget)"
  fi
fi
exit $failed
