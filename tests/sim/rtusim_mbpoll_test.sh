#!/usr/bin/env bash
# rtusim as a program: --help, a bad option, then mbpoll (an independent
# master) reads and writes it through the --link path, sees a scripted
# exception, and SIGTERM ends it cleanly with the link removed.
set -euo pipefail
rtusim=$1

fail() { echo "FAIL: $*"; [ -f "${out:-}" ] && { echo "--- rtusim output:"; cat "$out"; }; exit 1; }

"$rtusim" --help >"${TMPDIR:-/tmp}/rtusim-help.$$"
grep -q -- "--emulate-timing" "${TMPDIR:-/tmp}/rtusim-help.$$" || fail "--help does not document --emulate-timing"
rm -f "${TMPDIR:-/tmp}/rtusim-help.$$"
if "$rtusim" --bogus 2>/dev/null; then fail "an unknown option was accepted"; fi

if ! command -v mbpoll >/dev/null; then
  echo "mbpoll is not installed: skipped"
  exit 77
fi

dir=$(mktemp -d)
out=$dir/rtusim.out
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$dir"; }
trap cleanup EXIT

"$rtusim" --link "$dir/com1" --stations 1,7 --set 7:hr:10=4321 --set 7:hr:20=float:2.5 \
  --faults correct,correct,exception:6 --trace >"$out" 2>&1 &
pid=$!
# The link is made before the start-up lines are flushed: wait for both.
for _ in $(seq 50); do [ -L "$dir/com1" ] && grep -q "^rtusim: serving" "$out" && break; sleep 0.1; done
[ -L "$dir/com1" ] || fail "no link made"
grep -q "^rtusim: serving stations 1,7 on /dev/" "$out" || fail "device path not printed"

poll() { timeout 10 mbpoll -m rtu -b 9600 -P none -0 -1 -o 0.5 "$@" "$dir/com1"; }

poll -a 7 -t 4 -r 10 -c 1 | grep -qP '^\[10\]:\s+4321$' || fail "holding register 10 of station 7"
poll -a 7 -t 4:float -B -r 20 -c 1 | grep -qP '^\[20\]:\s+2.5$' || fail "float at 20 of station 7"
if poll -a 7 -t 4 -r 0 -c 1 >"$dir/busy" 2>&1; then fail "the scripted exception was not seen"; fi
grep -qi "busy" "$dir/busy" || fail "exception 6 not reported as busy: $(cat "$dir/busy")"
timeout 10 mbpoll -m rtu -b 9600 -P none -0 -1 -o 0.5 -a 1 -t 4 -r 30 "$dir/com1" 999 >/dev/null ||
  fail "write of holding register 30"
poll -a 1 -t 4 -r 30 -c 1 | grep -qP '^\[30\]:\s+999$' || fail "read back of holding register 30"
poll -a 1 -t 3 -r 1 -c 1 | grep -qP '^\[1\]:\s+21844$' || fail "input register 1 (1 XOR 0x5555)"
[ "$(poll -a 1 -t 0 -r 0 -c 4 | grep -cP '^\[[03]\]:\s+1$')" = 2 ] || fail "coils 0 and 3"

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "rtusim ended with status $status"
[ ! -e "$dir/com1" ] || fail "link left behind"
grep -q " RX 07 03 00 0A 00 01" "$out" || fail "trace lacks the first request"
grep -q "fault exception:6" "$out" || fail "trace lacks the fault"
grep -q "^rtusim: stopped" "$out" || fail "no clean stop"

# An existing device: one end of a socat pseudo-terminal pair, mbpoll on the other.
if command -v socat >/dev/null; then
  socat pty,link="$dir/a",raw,echo=0 pty,link="$dir/b",raw,echo=0 &
  socat_pid=$!
  for _ in $(seq 50); do [ -L "$dir/a" ] && [ -L "$dir/b" ] && break; sleep 0.1; done
  "$rtusim" --device "$dir/a" --baud 19200 --parity E --stations 3 >"$out" 2>&1 &
  pid=$!
  for _ in $(seq 50); do grep -q "^rtusim: serving" "$out" && break; sleep 0.1; done
  timeout 10 mbpoll -m rtu -b 19200 -P even -0 -1 -o 0.5 -a 3 -t 4 -r 77 -c 1 "$dir/b" | grep -qP '^\[77\]:\s+77$' ||
    { kill "$socat_pid"; fail "read through a socat pair"; }
  kill -TERM "$pid"; wait "$pid" || fail "rtusim on a device did not stop cleanly"
  pid=
  kill "$socat_pid"; wait "$socat_pid" 2>/dev/null || true
fi
echo "rtusim with mbpoll: passed"
