#!/usr/bin/env bash
# Two rtusim processes on one --link: the second is refused, naming the
# first, and leaves its link alone; once the first is killed outright (no
# clean exit), the next one takes the stale link over.
set -euo pipefail
rtusim=$1

dir=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null || true; done; rm -rf "$dir"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$dir"/*.out; do echo "--- $f:"; cat "$f"; done; exit 1; }

serve() {  # serve NAME: starts rtusim on $dir/com1, waits until it serves
  "$rtusim" --link "$dir/com1" >"$dir/$1.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do grep -q "^rtusim: serving" "$dir/$1.out" && return 0; sleep 0.1; done
  fail "$1 does not serve"
}

serve first
first=${pids[0]}
target=$(readlink "$dir/com1")
if timeout 10 "$rtusim" --link "$dir/com1" >"$dir/second.out" 2>&1; then fail "the second rtusim started"; fi
grep -q "will not take over $dir/com1: process $first serves it" "$dir/second.out" || fail "refusal"
[ "$(readlink "$dir/com1")" = "$target" ] || fail "the refused rtusim changed the link"
kill -0 "$first" || fail "the first rtusim ended"

kill -KILL "$first"
wait "$first" 2>/dev/null || true
[ -L "$dir/com1" ] || fail "a killed rtusim should leave its link"
serve third
[ "$(readlink "$dir/com1")" != "$target" ] || [ -e "$target" ] || fail "the stale link was not taken over"
grep -q "^rtusim: $dir/com1 -> $(readlink "$dir/com1")\$" "$dir/third.out" || fail "the third does not serve the link"
kill -TERM "${pids[1]}"
wait "${pids[1]}" || fail "the third rtusim did not end cleanly"
pids=()
[ ! -e "$dir/com1" ] && [ ! -e "$dir/com1.lock" ] || fail "link or lock file left behind"
echo "ok"
