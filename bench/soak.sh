#!/usr/bin/env bash
# The long fault soak, beside CI: the soak of tests/reliability/soak_test.cpp
# (every transaction kind against the device simulator in its seeded
# random-fault mode and its spells of late answers, each result checked
# against what the logged faults give, a transfer with a late answer for its
# own data and requests only) on several lines at once, each line its own
# process, driver instance, pseudo-terminal, simulator and seed. Prints each line's summary and the
# totals; fails when any transaction mismatches. About 10 minutes for the
# default 100,000 transactions over 4 lines.
#
#   bash bench/soak.sh [TRANSACTIONS] [LINES]
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/ensure-packages.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}"

total=${1:-100000}
lines=${2:-4}
case "$total$lines" in *[!0-9]*) echo "usage: bash bench/soak.sh [TRANSACTIONS] [LINES]" >&2; exit 2 ;; esac
[ "$lines" -ge 1 ] && [ "$total" -ge "$((3 * lines))" ] || { echo "soak: too few transactions for $lines lines" >&2; exit 2; }

build=build
cmake --preset default >/dev/null
cmake --build "$build" --target soak_tests -j2 >/dev/null
soak=$build/tests/reliability/soak_tests

# A soak process runs two tests, n transactions in decimal base and n / 2 in
# hexadecimal: n is chosen so that the lines share the total.
per_line=$((total / lines))
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

echo "soak: $total transactions over $lines concurrent lines" >&2
start=$(date +%s)
for line in $(seq "$lines"); do
  share=$per_line
  [ "$line" = "$lines" ] && share=$((total - per_line * (lines - 1)))
  n=$(((2 * share + 2) / 3))
  while [ $((n + n / 2)) -gt "$share" ]; do n=$((n - 1)); done
  while [ $((n + n / 2)) -lt "$share" ]; do n=$((n + 1)); done
  KOVRIN_SOAK_TRANSACTIONS=$n KOVRIN_SOAK_SEED=$((20240611 + 1000 * line)) \
    timeout 3600 "$soak" >"$work/line$line.log" 2>&1 &
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
pids=()
seconds=$(($(date +%s) - start))

for line in $(seq "$lines"); do
  grep '^soak (seed' "$work/line$line.log" | sed "s/^/line $line: /"
done
awk -v lines="$lines" -v seconds="$seconds" '
  /^soak \(seed/ {
    for (i = 1; i <= NF; i++) {
      if ($(i + 1) == "transactions,") transactions += $i
      if ($(i + 1) == "requests,") requests += $i
      if ($(i + 1) == "faults") faults += $i
      if ($i ~ /^\(/ && $(i + 1) == "failed;") { v = $i; sub(/\(/, "", v); failedTx += v }
      if ($(i + 1) == "with" && $(i + 3) == "late") late += $i
      if ($(i + 1) == "of" && $(i + 2) == "them" && $(i + 3) == "done)") lateDone += $i
      if ($i == "mismatches:") mismatches += $(i + 1)
    }
    runs++
  }
  END {
    printf "soak: %d transactions over %d concurrent lines in %d s: %d requests, %d faults injected, %d transactions failed as the faults demand, %d with a late answer (%d of them done), mismatches: %d\n",
      transactions, lines, seconds, requests, faults, failedTx, late, lateDone, mismatches
    if (runs != 2 * lines) { printf "soak: %d of %d soak runs reported\n", runs, 2 * lines; exit 1 }
    exit mismatches == 0 ? 0 : 1
  }' "$work"/line*.log || failed=1
if [ "$failed" != 0 ]; then
  # The logs stay for a look: each mismatch names its transaction and the
  # fault actions the simulator took.
  mkdir -p "$build/soak-logs"
  cp "$work"/line*.log "$build/soak-logs/"
  for line in $(seq "$lines"); do
    grep -E -A1 '^transaction [0-9]+:|Failure$' "$work/line$line.log" | head -20 | sed "s/^/line $line: /" || true
  done
  echo "soak: the whole logs are in $build/soak-logs" >&2
fi
exit $failed
