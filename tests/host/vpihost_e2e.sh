#!/usr/bin/env bash
# End-to-end runs of vpihost as a user types them.
# usage: vpihost_e2e.sh SCENARIO VPIHOST RTUSIM DEMO_GATES
set -u
scenario=$1 vpihost=$2 rtusim=$3 demo_gates=$4
work=$(mktemp -d)
sim_pid=""
sim_pids=()  # every simulator started: a scenario may start several
cleanup() {
  for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

fail() { echo "FAIL: $*"; echo "--- output"; cat out.txt; echo "--- errors"; cat err.txt; exit 1; }
expect_line() { grep -q -E -- "$1" out.txt || fail "no line matching '$1'"; }
run() { timeout 60 "$vpihost" "$@" >out.txt 2>err.txt; status=$?; }
# Runs vpihost in the background and sends it SIGNAL once its output has a
# line matching PATTERN (ERE), as Ctrl-C or a kill would.
run_interrupted() {
  local pattern=$1 signal=$2 host_pid
  shift 2
  timeout 60 "$vpihost" "$@" >out.txt 2>err.txt &
  host_pid=$!
  for _ in $(seq 200); do grep -qE -- "$pattern" out.txt && break; sleep 0.05; done
  kill -s "$signal" "$host_pid"
  wait "$host_pid"; status=$?
}

# Serves the line as a separate program, reached as $1 (comN) in $work.
start_rtusim() {
  local link=$work/$1
  shift
  "$rtusim" --link "$link" "$@" >sim.txt 2>&1 &
  sim_pid=$!
  sim_pids+=("$sim_pid")
  for _ in $(seq 100); do [ -L "$link" ] && return; sleep 0.05; done
  fail "rtusim did not start"
}

case $scenario in
  demo)
    # The README's first command: every gate kind and a fetched report.
    run report '!R01' 1
    [ "$status" -eq 0 ] || fail "exit status $status"
    expect_line '^ +1  0140001 +int16 +0 +0 done'
    expect_line '^ +2  0140002 +int16 +\[1, 2, 3, 4\] +0 done'
    expect_line '^ +4  0100001 +digital +1 +0 done'
    expect_line '^ +6  0130001 +int16 +21845 +0 done'
    expect_line '^ +7  0170101 +float +21.5 +0 done'
    expect_line '^ +8  0180201 +int32 +123456789 +0 done'
    expect_line '^ +10  R0101001 +text +"S001 R9101 LINE 001'
    expect_line 'report 1 fetched'
    ;;
  write-then-read)
    run write 0140002 7,8,9,10
    [ "$status" -eq 0 ] || fail "exit status $status"
    expect_line '^ +2  0140002 +int16 +\[7, 8, 9, 10\] +0 done'
    run write 0170101 -3.25
    expect_line '^ +7  0170101 +float +-3.25 +0 done'
    run write 01400105 1
    expect_line '^ +3  01400105 +digital +1 +0 done'
    ;;
  bad-gates)
    printf '0140001 int16\n0140002 word\n' >bad.gates
    run --gates bad.gates
    [ "$status" -eq 2 ] || fail "exit status $status, wanted 2"
    grep -q "bad.gates:2: unknown gate type 'word'" err.txt || fail "no file:line error"
    ;;
  missing-port)
    # The driver says only that the port failed; vpihost names the device
    # and the system's reason.
    VPI_COM_DIR=$work run --port COM7
    [ "$status" -eq 2 ] || fail "exit status $status, wanted 2"
    grep -q "the port cannot be opened: $work/com7: No such file or directory\$" err.txt || fail "no clear error"
    run --port /dev/kovrin-no-such-tty
    grep -q "the port cannot be opened: /dev/kovrin-no-such-tty: No such file or directory\$" err.txt ||
      fail "device path: no reason"
    # Held by another program (flock, as the driver itself holds a port).
    if command -v flock >/dev/null; then
      start_rtusim com2
      exec 9<"$work/com2"
      flock -n 9 || fail "cannot lock the pseudo-terminal"
      VPI_COM_DIR=$work run --port COM2
      exec 9<&-
      [ "$status" -eq 2 ] || fail "held port: exit status $status, wanted 2"
      grep -q "the port cannot be opened: $work/com2: in use by another program\$" err.txt ||
        fail "held port: no reason"
    fi
    ;;
  failure-causes)
    # Each failed read names why, from the driver's journal of that read:
    # three silent attempts, three bad CRCs, the wrong station's answers
    # (one counted attempt and the nine tries they are allowed), three
    # exception replies; the summary counts them and the retries.
    start_rtusim com4 --faults 'silent*3,bad-crc*3,wrong-slave*10,exception:2*3'
    printf '0140001 int16\n0140002 int16\n0140003 int16\n0140004 int16\n0140005 int16\n' >causes.gates
    VPI_COM_DIR=$work run --port COM4 --gates causes.gates --timeout 5 --cycles 2 --interval 0
    [ "$status" -eq 1 ] || fail "exit status $status, wanted 1"
    expect_line '^ +1  0140001 +int16 +- +2 transport or port failure: no reply$'
    expect_line '^ +2  0140002 +int16 +- +1 refused or failed: bad CRC$'
    expect_line '^ +3  0140003 +int16 +- +1 refused or failed: wrong station$'
    expect_line '^ +4  0140004 +int16 +- +1 refused or failed: exception 2 \(illegal data address\)$'
    expect_line '^ +5  0140005 +int16 +4 +0 done$'
    expect_line '^summary: 2 cycles in [0-9.]+ s, 10 transfers .*, 4 failed \(40.0 %\), 15 retries$'
    expect_line '^ +3  0140003 +int16 +2 +1 +1 +9 .*  1 refused or failed x1: wrong station x1$'
    # The same causes in the records of CSV and JSON Lines.
    start_rtusim com5 --faults 'silent*3,exception:2*3'
    VPI_COM_DIR=$work run --port COM5 --gates causes.gates --timeout 5 --format csv
    grep -q ',2,transport or port failure,no reply,2'$'\r''$' out.txt || fail "csv: no cause"
    grep -q ',1,refused or failed,exception 2 (illegal data address),2'$'\r''$' out.txt || fail "csv: no exception"
    grep -q ',0,done,,0'$'\r''$' out.txt || fail "csv: a good read with a cause"
    start_rtusim com6 --faults 'bad-crc*3'
    VPI_COM_DIR=$work run --port COM6 --gates causes.gates --timeout 5 --format json
    grep -q '"result":1,"result_text":"refused or failed","cause":"bad CRC","retries":2}' out.txt ||
      fail "json: no cause"
    # A write names its cause too.
    start_rtusim com7 --faults 'silent*10'
    VPI_COM_DIR=$work run --port COM7 --gates causes.gates --timeout 5 write 0140001 5
    grep -q '^write 0140001 = 5: 2 transport or port failure: no reply$' out.txt || fail "write: no cause"
    ;;
  com-port)
    # A user's setup: the simulator as its own program behind COM3.
    start_rtusim com3 --set 1:hr:100=float:1.5 --set 1:hr:200=ulong:42
    VPI_COM_DIR=$work run --port COM3 --gates "$demo_gates" --cycles 2 --interval 10
    [ "$status" -eq 0 ] || fail "exit status $status"
    expect_line '^ +7  0170101 +float +1.5 +0 done'
    expect_line '^ +8  0180201 +int32 +42 +0 done'
    expect_line '^cycle 2'
    # A name the port record holds goes to the driver as it is, linked nowhere.
    grep -qx 'port         COM3, 9600 baud 8N1, reply timeout 1000 ms' out.txt ||
      fail "the port line changed for a short name"
    ;;
  long-path)
    # A name such as /dev/serial/by-id/... is longer than the 11 characters
    # the port record holds: vpihost links it as COM1 in a folder of its own
    # (under TMPDIR, here $work/tmp), which is gone again however it ends.
    long=serial/by-id/usb-TEST_Adapter_0123456789-if00-port0
    mkdir -p "$work/serial/by-id" "$work/tmp"
    start_rtusim "$long" --set 1:hr:100=float:1.5
    no_folder_left() { [ -z "$(ls -A "$work/tmp")" ] || fail "$1: left $(ls "$work/tmp") behind"; }
    TMPDIR=$work/tmp run --port "$work/$long" --gates "$demo_gates" --cycles 2 --interval 10
    [ "$status" -eq 0 ] || fail "exit status $status"
    expect_line "^port         COM1 -> $work/$long \\(linked in VPI_COM_DIR=$work/tmp/vpihost-[0-9]+\\), 9600 baud 8N1, reply timeout 1000 ms\$"
    expect_line '^ +7  0170101 +float +1.5 +0 done'
    expect_line '^cycle 2'
    no_folder_left "a poll"
    # A relative path is taken from the working folder, not from the link's.
    TMPDIR=$work/tmp run --port "$long" --gates "$demo_gates"
    [ "$status" -eq 0 ] || fail "relative path: exit status $status"
    expect_line '^ +7  0170101 +float +1.5 +0 done'
    # The machine-readable formats keep the port line off stdout.
    TMPDIR=$work/tmp run --port "$work/$long" --gates "$demo_gates" --format csv
    [ "$status" -eq 0 ] || fail "csv: exit status $status"
    grep -q "^port         COM1 -> $work/$long " err.txt || fail "csv: no port line on stderr"
    ! grep -q '^port ' out.txt || fail "csv: the port line among the records"
    # A device that is not there: the driver's error, and no folder left.
    TMPDIR=$work/tmp run --port "$work/serial/by-id/usb-TEST_Unplugged-if00-port0" --gates "$demo_gates"
    [ "$status" -eq 2 ] || fail "missing device: exit status $status, wanted 2"
    grep -q "the port cannot be opened" err.txt || fail "missing device: no clear error"
    no_folder_left "a port that cannot be opened"
    # Ctrl-C mid-poll.
    TMPDIR=$work/tmp run_interrupted '^cycle 2' INT --port "$work/$long" --gates "$demo_gates" --duration 300 \
      --interval 50
    [ "$status" -eq 1 ] || fail "SIGINT: exit status $status, wanted 1"
    expect_line '^vpihost: interrupted; the driver was ended'
    no_folder_left "Ctrl-C"
    ;;
  failing-device)
    start_rtusim com4 --faults 'silent*100'
    VPI_COM_DIR=$work run --port COM4 --gates "$demo_gates" --timeout 5
    [ "$status" -eq 1 ] || fail "exit status $status, wanted 1"
    expect_line '^ +1  0140001 +int16 +- +2 transport or port failure'
    ;;
  station-table)
    # A table per station after the gate table, its counts from the driver's
    # journal: station 1's first read meets a bad CRC and two exceptions
    # (code 2: refused), station 2's one exception before a good reply,
    # station 3 is not on the line at all.
    start_rtusim com9 --stations 1,2 --faults 'bad-crc,exception:2*3'
    printf '0140001 int16\n0240001 int16\n0340001 int16\n0140002 int16\n' >stations.gates
    VPI_COM_DIR=$work run --port COM9 --gates stations.gates --timeout 5 --cycles 3 --interval 0
    [ "$status" -eq 1 ] || fail "exit status $status, wanted 1"
    expect_line '^station  transfers +ok +retries +silent +wrong +crc +collisions +no echo +demoted +skipped +min ms +mean ms +p99 ms +state +exceptions by code$'
    expect_line '^ +1 +6 +5 +2 +0 +0 +1 +0 +0 +0 +0 +[0-9.]+ +[0-9.]+ +[0-9.]+  answering +2:2$'
    expect_line '^ +2 +3 +3 +1 +0 +0 +0 +0 +0 +0 +0 +[0-9.]+ +[0-9.]+ +[0-9.]+  answering +2:1$'
    expect_line '^ +3 +3 +0 +6 +3 +0 +0 +0 +0 +0 +0 +- +- +-  no reply$'
    # The station table follows the gate table, a blank line between.
    awk '/^summary:/ {s=1} s && /^$/ {b=NR} s && /^station / {exit !(b == NR - 1)}' out.txt ||
      fail "the station table does not follow the gate table"
    # With demotion station 3 is left out after its second silent transfer:
    # its next two are not sent, and its health gate says so.
    printf 'DEMOTE = 2 , 60\r\n' >KOVRIN.INT
    VPI_COM_DIR=$work run --port COM9 --gates stations.gates --timeout 5 --cycles 4 --interval 0
    expect_line '^ +3 +4 +0 +4 +2 +0 +0 +0 +0 +1 +2 +- +- +-  demoted$'
    expect_line '^ +1 +8 +8 +0 +0 +0 +0 +0 +0 +0 +0 +[0-9.]+ +[0-9.]+ +[0-9.]+  answering$'
    # ECHO = YES on a line without echo: the replies read as echoes that
    # differ from the requests, and station 3's silence as no echo at all.
    printf 'ECHO = YES\r\n' >KOVRIN.INT
    VPI_COM_DIR=$work run --port COM9 --gates stations.gates --timeout 5 --cycles 2 --interval 0
    expect_line '^ +1 +4 +0 +8 +0 +0 +0 +12 +0 +0 +0 +- +- +-  answering$'
    expect_line '^ +3 +2 +0 +4 +2 +0 +0 +0 +6 +0 +0 +- +- +-  answering$'
    # In the hexadecimal base station 10 is 0A: its health gate is !S0A,
    # while !S10 would be station 16's, which was never asked.
    printf 'BUS = M , H\r\nDEMOTE = 1 , 60\r\n' >KOVRIN.INT
    printf '0A40001 int16\n' >hex.gates
    VPI_COM_DIR=$work run --port COM9 --gates hex.gates --timeout 5 --cycles 2 --interval 0
    expect_line '^ +10 +2 +0 +2 +1 +0 +0 +0 +0 +1 +1 +- +- +-  demoted$'
    rm KOVRIN.INT
    # A single read prints no summary and no station table.
    VPI_COM_DIR=$work run --port COM9 --gates stations.gates --timeout 5
    ! grep -q '^station ' out.txt || fail "a station table after a single read"
    ;;
  parity-after-none)
    # 8E1 right after a run at 8N1 on the same line: the pseudo-terminal
    # cannot carry parity, and the second start must not fail over it.
    start_rtusim com6
    VPI_COM_DIR=$work run --port COM6 --baud 19200 --gates "$demo_gates"
    [ "$status" -eq 0 ] || fail "8N1: exit status $status"
    VPI_COM_DIR=$work run --port COM6 --baud 19200 --parity even --gates "$demo_gates"
    [ "$status" -eq 0 ] || fail "8E1 after 8N1: exit status $status"
    expect_line '^ +1  0140001 +int16 +0 +0 done'
    VPI_COM_DIR=$work run --port COM6 --baud 14400 --parity even --gates "$demo_gates"
    [ "$status" -eq 0 ] || fail "14400 baud: exit status $status"
    ;;
  unplugged-device)
    # The far end of the line closes mid-poll and comes back as a new
    # pseudo-terminal behind the same name, as an adapter unplugged and
    # plugged in again: vpihost keeps polling, shows the failures, reopens
    # the port and reads again.
    start_rtusim com5
    VPI_COM_DIR=$work timeout 60 "$vpihost" --port COM5 --gates "$demo_gates" --timeout 20 \
      --cycles 40 --interval 100 >out.txt 2>err.txt &
    host_pid=$!
    for _ in $(seq 200); do grep -q '^cycle 2' out.txt && break; sleep 0.05; done
    kill "$sim_pid"; wait "$sim_pid" 2>/dev/null
    for _ in $(seq 200); do grep -q 'transport or port failure' out.txt && break; sleep 0.05; done
    # Back with its first request unanswered: the reopened port keeps the
    # reply timeout of --timeout (3 x 200 ms, not 3 x 1 s).
    start_rtusim com5 --faults 'silent*3'
    wait "$host_pid"; status=$?
    [ "$status" -eq 1 ] || fail "exit status $status, wanted 1 (some reads failed)"
    # The rows come out as they are read, so the kill lands on whichever
    # gate is being read: any of them may be the first to fail.
    expect_line '^ +[0-9]+  [0-9]+ +[a-z0-9]+ +- +2 transport or port failure'
    expect_line '^port COM5 reopened'
    expect_line '^cycle 40'
    # Reads work again after the reopen.
    awk '/^port COM5 reopened/ {seen=1} seen && / 0140001 .* 0 done/ {ok=1} END {exit !ok}' out.txt ||
      fail "no good read after the port was reopened"
    awk '/^summary:/ {s=1} s && $2 == "0140001" {exit !($9 < 3000)}' out.txt ||
      fail "a read after the reopen waited longer than --timeout"
    ;;
  silent-station-keeps-port)
    # A station that does not answer is no failed port: the port stays open
    # through the cycles (on a real line each close drops DTR and RTS), and
    # every unanswered read gives up after 3 x 100 ms (--timeout 10).
    start_rtusim com8 --faults 'silent*3,correct*7,silent*3'
    VPI_COM_DIR=$work run --port COM8 --gates "$demo_gates" --timeout 10 --cycles 5 --interval 0
    [ "$status" -eq 1 ] || fail "exit status $status, wanted 1"
    grep -q 'reopened' out.txt && fail "the port was reopened for a silent station"
    expect_line '^cycle 5'
    expect_line '^ +1  0140001 +int16 +5 +3 +2 +4 .* 2 transport or port failure x2: no reply x2$'
    awk '/^summary:/ {s=1} s && $2 == "0140001" {exit !($9 < 1000)}' out.txt ||
      fail "an unanswered read waited longer than --timeout"
    ;;
  interrupted-poll)
    # Ctrl-C or a kill ends a long poll early and still shows the summary.
    for sig in INT TERM; do
      run_interrupted '^cycle 3' "$sig" --duration 300 --interval 50
      [ "$status" -eq 1 ] || fail "SIG$sig: exit status $status, wanted 1"
      expect_line '^summary: [0-9]+ cycles \(interrupted\) in [0-9.]+ s, [0-9]+ transfers'
      expect_line '^ +8  0180201 +int32 +[0-9]+ +[0-9]+ +0 '
      expect_line '^vpihost: interrupted; the driver was ended'
    done
    ;;
  terminal-redraw)
    # On a terminal one table is redrawn for each cycle; into a file every
    # cycle prints its own, with no control sequences.
    command -v script >/dev/null || { echo "vpihost $scenario: skipped (no script(1))"; exit 0; }
    TERM=xterm timeout 60 script -qec "'$vpihost' --cycles 3 --interval 10 2>/dev/null" /dev/null \
      | tr -d '\r' >out.txt
    grep -qF $'\e[14A\e[J' out.txt || fail "no redraw of the 14 lines of the last table"
    [ "$(grep -c '^  #  address' out.txt)" -eq 4 ] || fail "not one table a cycle plus the summary's"
    expect_line 'cycle 3 of 3, [0-9.]+ s$'
    expect_line '^summary: 3 cycles in '
    run --cycles 3 --interval 10
    ! grep -q $'\e' out.txt || fail "control sequences in a file"
    expect_line '^cycle 3$'
    ;;
  quick-look)
    # Gates on the command line instead of a gates file; a type left out is
    # what the driver's parser takes for the address.
    run poll 0140011 0170101:float 0140002:int16:4 0100001 01400105 0170101 0180201
    [ "$status" -eq 0 ] || fail "exit status $status"
    expect_line '^ +1  0140011 +int16 +10 +0 done'
    expect_line '^ +2  0170101 +float +21.5 +0 done'
    expect_line '^ +3  0140002 +int16 +\[1, 2, 3, 4\] +0 done'
    expect_line '^ +4  0100001 +digital +1 +0 done'
    expect_line '^ +5  01400105 +digital +0 +0 done'
    expect_line '^ +6  0170101 +float +21.5 +0 done'
    expect_line '^ +7  0180201 +int32 +123456789 +0 done'
    # --gate, repeated, after poll's own gates.
    run --gate 0130001 poll 0140011 --gate 0110003:digital
    [ "$status" -eq 0 ] || fail "--gate: exit status $status"
    expect_line '^ +1  0140011 +int16 +10 +0 done'
    expect_line '^ +2  0130001 +int16 +21845 +0 done'
    expect_line '^ +3  0110003 +digital +0 +0 done'
    ! grep -q 0140001 out.txt || fail "--gate: the gates file was read as well"
    # The gates file from standard input, its errors as <stdin>:LINE.
    printf '0140011 int16\n0180201 int32\n' | timeout 60 "$vpihost" --gates - >out.txt 2>err.txt
    status=$?
    [ "$status" -eq 0 ] || fail "--gates -: exit status $status"
    expect_line '^ +2  0180201 +int32 +123456789 +0 done'
    printf '0140011 int16\n0140002 word\n' | timeout 60 "$vpihost" --gates - >out.txt 2>err.txt
    status=$?
    [ "$status" -eq 2 ] || fail "--gates - with a bad line: exit status $status"
    grep -q "<stdin>:2: unknown gate type 'word'" err.txt || fail "no <stdin>:LINE error"
    # --hex: integers in hexadecimal in the table and CSV, numbers in JSON.
    run --hex poll 0140011 0140002:int16:4 0180201 0130001 0170101 0100001
    [ "$status" -eq 0 ] || fail "--hex: exit status $status"
    expect_line '^ +1  0140011 +int16 +0x000A +0 done'
    expect_line '^ +2  0140002 +int16 +\[0x0001, 0x0002, 0x0003, 0x0004\] +0 done'
    expect_line '^ +3  0180201 +int32 +0x075BCD15 +0 done'
    expect_line '^ +4  0130001 +int16 +0x5555 +0 done'
    expect_line '^ +5  0170101 +float +21.5 +0 done'
    expect_line '^ +6  0100001 +digital +1 +0 done'
    run --hex --format csv poll 0140011 0140002:int16:2
    expect_line ',1,1,0140011,int16,0x000A,0,done'
    expect_line ',1,2,0140002,int16,"0x0001,0x0002",0,done'
    run --hex --format json poll 0140011
    expect_line '"value":10,'
    # A bad gate argument is a usage error that names it.
    for bad in 0140011:word 0140011:int16:0 0140011:int16:126 '!R01:trigger:2' :int16; do
      run poll 0140011 "$bad"
      [ "$status" -eq 2 ] || fail "$bad: exit status $status, wanted 2"
      grep -qF "vpihost: gate '$bad': " err.txt || fail "$bad: the error does not name it"
    done
    ;;
  scan)
    # The built-in simulator has station 1 only: 2 and 3 are silent, and
    # each silent one costs the driver's 3 attempts and a wait of 100 ms.
    started=$(date +%s%N)
    run scan 1-3
    took_ms=$(( ($(date +%s%N) - started) / 1000000 ))
    [ "$status" -eq 0 ] || fail "exit status $status"
    expect_line '^scan: 3 stations, holding register 0 of each; a silent one takes the driver.s 3 attempts of 100 ms and a wait of 100 ms for a late reply: at most [0-9.]+ s$'
    expect_line '^ +1  0140001 +answers: holding register 0 = 0 \(0x0000\)$'
    expect_line '^ +2  0240001 +no reply$'
    expect_line '^ +3  0340001 +no reply$'
    expect_line '^1 of 3 stations answered$'
    bound=$(sed -nE 's/^scan: .* at most ([0-9.]+) s$/\1/p' out.txt)
    awk -v took="$took_ms" -v bound="$bound" 'BEGIN {exit !(took >= 700 && took <= bound * 1000 + 500)}' ||
      fail "2 silent stations took $took_ms ms, the bound said $bound s"
    # Nobody there: exit 1. One station alone is a range too.
    run scan 5
    [ "$status" -eq 1 ] || fail "scan 5: exit status $status, wanted 1"
    expect_line '^0 of 1 stations answered$'
    # Two decimal digits reach station 99: the rest is said once.
    run scan 99-247
    expect_line '^100-247  - +no address the driver takes in this number base'
    expect_line '^0 of 1 stations answered$'
    # --duration ends it early, at a station's end.
    run --duration 1 scan 2-40
    [ "$status" -eq 1 ] || fail "--duration: exit status $status, wanted 1"
    expect_line '^scan stopped after [0-9.]+ s \(time is up\): [0-9]+ of 39 stations not asked$'
    # An exception reply is a station that is there; silence is none.
    start_rtusim com3 --stations 1,3 --faults 'correct,exception:2*3'
    VPI_COM_DIR=$work run --port COM3 scan 1-4
    [ "$status" -eq 0 ] || fail "rtusim: exit status $status"
    expect_line '^ +1  0140001 +answers: holding register 0 = 0 \(0x0000\)$'
    expect_line '^ +2  0240001 +no reply$'
    expect_line '^ +3  0340001 +answers with exception 2 \(illegal data address\)$'
    expect_line '^2 of 4 stations answered$'
    # --timeout is the scan's too; in base H station 10 is 0A.
    printf 'BUS = M , H\r\n' >KOVRIN.INT
    VPI_COM_DIR=$work run --port COM3 --timeout 5 scan 3
    expect_line 'a silent one takes the driver.s 3 attempts of 50 ms'
    expect_line '^ +3  0340001 +answers: holding register 0 = 0'
    # The init file's gap waits before each request: the bound counts it.
    printf 'IFG_MS = 50\r\n' >KOVRIN.INT
    started=$(date +%s%N)
    VPI_COM_DIR=$work run --port COM3 scan 5-6
    took_ms=$(( ($(date +%s%N) - started) / 1000000 ))
    expect_line "a late reply, each request after the init file's gap of 50 ms: at most [0-9.]+ s\$"
    bound=$(sed -nE 's/^scan: .* at most ([0-9.]+) s$/\1/p' out.txt)
    awk -v took="$took_ms" -v bound="$bound" 'BEGIN {exit !(took >= 1000 && took <= bound * 1000 + 500)}' ||
      fail "2 silent stations with a gap of 50 ms took $took_ms ms, the bound said $bound s"
    rm KOVRIN.INT
    # Ctrl-C: the stations not asked are said, the driver is ended.
    run_interrupted '^ +3  ' INT scan 2-99
    [ "$status" -eq 1 ] || fail "SIGINT: exit status $status, wanted 1"
    expect_line '^scan stopped after [0-9.]+ s \(interrupted\): [0-9]+ of 98 stations not asked$'
    expect_line '^vpihost: interrupted; the driver was ended'
    ;;
  refused-gates)
    # Gates the driver refuses: each with the driver's reason, and nothing
    # goes out on the line (the simulator's trace has no request).
    start_rtusim com2 --trace
    printf '0140001 int16\n01400105 int16  # a bit is digital\n0170102 float\n0140002 int16 4\n' >refused.gates
    VPI_COM_DIR=$work run --port COM2 --gates refused.gates
    [ "$status" -eq 1 ] || fail "exit status $status, wanted 1"
    grep -qx 'vpihost: the driver refuses 2 of 4 gates; nothing was sent:' err.txt || fail "no refusal heading"
    grep -qx '  refused.gates:2: 01400105 int16: KOVRIN> SingleParse() gate type should be DIGITAL' err.txt ||
      fail "no refusal of line 2"
    grep -qx '  refused.gates:3: 0170102 float: KOVRIN> Parse() 32 bit gates must have ODD address for MODBUS' \
      err.txt || fail "no refusal of line 3"
    ! grep -q '  #  address' out.txt || fail "a table after a refusal"
    # A reason the driver logs at level 8 only is shown all the same.
    VPI_COM_DIR=$work run --port COM2 poll 0140001 0190001
    [ "$status" -eq 1 ] || fail "arguments: exit status $status, wanted 1"
    grep -qx "  argument 2: 0190001 int16: KOVRIN> Parse() illegal char #2, 9 in '0190001 '" err.txt ||
      fail "no refusal of argument 2"
    # write and report refuse to start too.
    VPI_COM_DIR=$work run --port COM2 --gates refused.gates write 0140001 5
    [ "$status" -eq 1 ] || fail "write: exit status $status, wanted 1"
    ! grep -q '^write ' out.txt || fail "a write with refused gates"
    sleep 0.2
    ! grep -q ' RX ' sim.txt || fail "a request went out: $(grep ' RX ' sim.txt | head -1)"
    ;;
  oversized-block)
    # A block larger than one frame carries is the gates file's error.
    printf '0140001 int16\n0140002 int16 126\n' >big.gates
    run --gates big.gates
    [ "$status" -eq 2 ] || fail "exit status $status, wanted 2"
    grep -qx 'vpihost: big.gates:2: a block of 126 int16 values does not fit one frame (at most 125)' err.txt ||
      fail "no FILE:LINE error"
    # The largest blocks are read.
    printf '0100001 digital 2000\n0140001 int16 125\n0170101 float 62\n' >big.gates
    run --gates big.gates
    [ "$status" -eq 0 ] || fail "the largest blocks: exit status $status"
    ;;
  header-line)
    # The port line gives the line's settings as the driver gets them.
    start_rtusim com5
    VPI_COM_DIR=$work run --port COM5 --baud 19200 --parity even --stop-bits 2 --timeout 25 poll 0140001
    [ "$status" -eq 0 ] || fail "exit status $status"
    grep -qx 'port         COM5, 19200 baud 8E2, reply timeout 250 ms' out.txt || fail "no port line with the settings"
    run --data-bits 7 --parity odd --stop-bits 1.5 poll 0140001
    expect_line '^device       built-in simulator, station 1 on .*, reached as COM1 through VPI_COM_DIR=[^ ]+, 9600 baud 7O1.5, reply timeout 1000 ms \(holding register n holds n'
    run --no-port poll 0140001
    grep -qxF 'port         (none)' out.txt || fail "no port line without a port"
    ;;
  *) echo "unknown scenario $scenario"; exit 2 ;;
esac
echo "vpihost $scenario: ok"
