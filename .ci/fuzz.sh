#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for a
# bounded time from its committed seed corpus. Any crash, sanitizer report,
# broken invariant, leak or timeout fails the run; the input that found it is
# left in build-fuzz/findings/<target>/ and becomes a regression file under
# fuzz/corpus/<target>/ (replayed by the test suite).
#
#   KOVRIN_FUZZ_SECONDS  run time per target (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/ensure-packages.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}" clang libclang-rt-14-dev

seconds="${KOVRIN_FUZZ_SECONDS:-60}"
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
targets=(gas init_file reply host_record)

cmake --preset fuzz -DKOVRIN_WERROR=$werror >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for target in "${targets[@]}"; do
  # Absolute paths: the targets work in a scratch directory of their own.
  work="$PWD/build-fuzz/work/$target"
  findings="$PWD/build-fuzz/findings/$target"
  rm -rf "$work" "$findings"
  mkdir -p "$work" "$findings"
  dict=()
  [ -f "fuzz/dict/$target.dict" ] && dict=(-dict="$PWD/fuzz/dict/$target.dict")
  # New inputs go to the scratch corpus; the committed one is only read.
  if ./build-fuzz/fuzz/fuzz_$target "${dict[@]}" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$work" "$PWD/fuzz/corpus/$target" \
      > "build-fuzz/$target.log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build-fuzz/$target.log")
    echo "fuzz_$target: ${seconds}s, $runs runs, no finding"
  else
    echo "fuzz_$target: FINDING (inputs in $findings/)"
    tail -60 "build-fuzz/$target.log"
    status=1
  fi
done
exit $status
