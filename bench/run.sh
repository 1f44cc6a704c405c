#!/usr/bin/env bash
# The benchmark: the driver (through VpiMain) against libmodbus's RTU master,
# on one pseudo-terminal line and one slave, in alternating rounds; then the
# many-lines series (k = 1, 2, 4, 8, 16 driver instances, each on its own
# thread, line and simulator at 19200 baud); then the cost of one
# transaction of each master alone (callgrind, strace). Prints the table, a
# line with the headline figures, and the many-lines table. Installs what is
# missing. Takes a few minutes; the machine should be otherwise quiet.
#
# --multidrop runs instead the multi-drop line (8 stations at 19200 baud,
# one of them silent, with and without DEMOTE, and coming back) and the
# echoing line (ECHO = YES and AUTO on rtusim --echo full, against no echo),
# prints their tables and a PASS or FAIL line for each target, and fails
# when one failed. About 3 minutes, most of it waiting out reply timeouts.
#
#   bash bench/run.sh              # the whole benchmark
#   bash bench/run.sh --quick      # shorter slices, for a first look
#   bash bench/run.sh --multidrop  # the multi-drop and the echoing line alone
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/ensure-packages.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}" libmodbus-dev pkg-config socat valgrind strace

measure_args=()
lines_args=()
mode=${1:-}
case "$mode" in
  "" | --multidrop) ;;
  --quick)
    measure_args=(--pty-seconds 0.3 --line-seconds 0.8)
    lines_args=(--seconds 1)
    ;;
  *) echo "usage: bash bench/run.sh [--quick | --multidrop]" >&2; exit 2 ;;
esac

build=build-bench
cmake --preset bench >/dev/null
cmake --build "$build" -j "$(nproc)" --target kovrin_bench >/dev/null
bench=$build/bench/kovrin_bench
rtusim=$build/sim/rtusim
slave_program=$build/bench/kovrin_bench_slave

work=$(mktemp -d)
slave_pid=""
cleanup() {
  if [ -n "$slave_pid" ]; then kill "$slave_pid" 2>/dev/null || true; wait "$slave_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export VPI_COM_DIR=$work
results=$work/results.tsv
: >"$results"

echo "bench: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')" >&2
if [ "$mode" = --multidrop ]; then
  [ -x "$rtusim" ] || { echo "bench: the multi-drop and the echoing line need rtusim ($rtusim)" >&2; exit 1; }
  failed=0
  echo "bench: the multi-drop line (8 stations, station 5 silent in some cases)" >&2
  "$bench" multidrop --out "$results" >"$work/slaves.log" || failed=1
  echo "bench: the echoing line" >&2
  "$bench" echo --out "$results" >>"$work/slaves.log" || failed=1
  cp "$results" "$build/bench-line-faults.tsv"
  "$bench" report "$results"
  echo
  "$bench" check "$results" || failed=1
  exit $failed
fi
echo "bench: timed rounds (driver and libmodbus alternating)" >&2
measure_failed=0
"$bench" measure --out "$results" "${measure_args[@]}" >"$work/slaves.log" || measure_failed=1
echo "bench: many lines at once (an instance, a thread and a simulator each)" >&2
"$bench" lines --out "$results" "${lines_args[@]}" >>"$work/slaves.log" || measure_failed=1

# The cost of one transaction of one master: the difference of two run
# lengths, so start-up and shut-down cancel.
if [ -x "$rtusim" ]; then
  slave_name=rtusim
  slave_cmd=("$rtusim" --link "$work/com1" --stations 1)
  for n in 1 2 3 4 5 6 7; do slave_cmd+=(--report "$n=file:$work/report$n.txt"); done
else
  slave_name=libmodbus
  slave_cmd=("$slave_program" --link "$work/com1")
fi
"${slave_cmd[@]}" >>"$work/slaves.log" &
slave_pid=$!
for _ in $(seq 500); do [ -e "$work/com1" ] && break; sleep 0.01; done

callgrind_total() {  # prints the instructions of one run
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bench" cost "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
strace_total() {  # prints the system calls of one run
  strace -f -c -o "$work/strace.txt" "$bench" cost "$@" >/dev/null
  awk '$NF == "total" { print $4 }' "$work/strace.txt"
}
per_transaction() {  # metric function, short and long run, then cost arguments
  local fn=$1 short=$2 long=$3
  shift 3
  local a b
  a=$($fn "$@" --count "$short")
  b=$($fn "$@" --count "$long")
  awk -v a="$a" -v b="$b" -v n=$((long - short)) 'BEGIN { printf "%.2f", (b - a) / n }'
}

echo "bench: cost per transaction (callgrind, strace) against $slave_name" >&2
while read -r scenario kind; do
  masters=(driver)
  [ "$kind" = shared ] && masters+=(libmodbus)
  short=100
  long=600
  case "$scenario" in report*) short=4 long=14 ;; esac
  for master in "${masters[@]}"; do
    ir=$(per_transaction callgrind_total $short $long --master "$master" --scenario "$scenario")
    sys=$(per_transaction strace_total $short $long --master "$master" --scenario "$scenario")
    printf 'cost\t%s\t%s\t%s\tinstructions\t%s\n' "$slave_name" "$master" "$scenario" "$ir" >>"$results"
    printf 'cost\t%s\t%s\t%s\tsyscalls\t%s\n' "$slave_name" "$master" "$scenario" "$sys" >>"$results"
    printf '  %-9s %-9s %8s instructions %6s system calls per transaction\n' "$scenario" "$master" "$ir" "$sys" >&2
  done
done < <("$bench" scenarios --all)

cp "$results" "$build/bench-results.tsv"
echo >&2
"$bench" report "$results"
exit $measure_failed
