#!/usr/bin/env bash
# The Windows build, proven under Wine: builds KOVRINSX.DLL, the stand-in
# ZELPRO.dll, vpihost.exe and the Windows test programs with the mingw-w64
# cross compiler, checks the DLL's export and import tables, then runs in a
# fresh Wine prefix:
#   - the serial end to end: the device simulator runs natively on one end of
#     a socat pseudo-terminal pair, the prefix's COMn is the other end;
#   - the dialog end to end: the address dialog filled in from a second
#     thread;
#   - vpihost.exe on the demo gates file against the simulator through COMn,
#     compared with the Linux host's values.
#
#   bash .ci/windows-tests.sh [32|64]
#
# 32 (the default) is the product, the i686 build under 32-bit Wine, which
# needs a kernel that executes 32-bit x86 programs; 64 is the same sources
# built for x86-64 under 64-bit Wine, which runs on any x86-64 machine.
# Installs what is missing. Every wait is bounded.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$SECONDS

export KOVRIN_WINE_BITS=${1:-32}
case "$KOVRIN_WINE_BITS" in
  32) target=i686-w64-mingw32 preset=mingw build_win=build-win ;;
  64) target=x86_64-w64-mingw32 preset=mingw64 build_win=build-win64 ;;
  *) echo "usage: $0 [32|64]" >&2; exit 2 ;;
esac
arch=${target%%-*}
echo "== Windows runs: the $arch build under ${KOVRIN_WINE_BITS}-bit Wine"

source .ci/ensure-packages.sh
source .ci/wine-env.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}" "g++-mingw-w64-${arch//_/-}" "binutils-mingw-w64-${arch//_/-}" socat \
  googletest
wine_install

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

# ---- builds ---------------------------------------------------------------
cmake --preset "$preset" -DKOVRIN_WERROR=$werror >/dev/null
cmake --build "$build_win" -j "$(nproc)"
bash .ci/check-dll.sh "$build_win/KOVRINSX.DLL" "$target"

# What runs under Wine (and on a Windows machine) may need no compiler
# runtime DLL: a missing one stops the program before main.
for binary in "$build_win"/host/ZELPRO.dll "$build_win"/host/vpihost/vpihost.exe "$build_win"/tests/windows/*.exe; do
  if "$target-objdump" -p "$binary" | grep -iE 'DLL Name: *(libgcc|libstdc|libwinpthread)'; then
    echo "$binary needs a compiler runtime DLL"
    exit 1
  fi
done

# The simulator and the Linux host, natively, configured as tests/run.sh
# does so that CI builds this tree once.
cmake --preset default -DKOVRIN_WERROR=$werror >/dev/null
cmake --build build -j "$(nproc)" --target rtusim vpihost kovrinsx
rtusim=$root/build/sim/rtusim

# ---- the prefix and the line pairs ----------------------------------------
work=$(mktemp -d "/tmp/kovrin-wine$KOVRIN_WINE_BITS.XXXXXX")
pids=()      # simulators, stopped first
socats=()    # line pairs, stopped after the wineserver
cleanup() {
  local pid
  wine_stop
  for pid in "${pids[@]}" "${socats[@]}"; do
    kill "$pid" 2>/dev/null || true
    timeout 5 tail --pid="$pid" -f /dev/null 2>/dev/null || kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

echo "== Wine prefix"
wine_prefix_create "$work/prefix"
stage=$work/stage
mkdir -p "$stage"
cp "$build_win"/KOVRINSX.DLL "$build_win"/host/ZELPRO.dll "$build_win"/tests/windows/*.exe "$stage"/
cp "$build_win"/host/vpihost/vpihost.exe "$stage"/

# A pseudo-terminal pair: $work/simN for the simulator, COMn in the prefix.
start_line() {
  local n=$1
  socat "pty,raw,echo=0,link=$work/sim$n" "pty,raw,echo=0,link=$work/com$n" &
  socats+=($!)
  local i
  for i in $(seq 100); do
    [ -e "$work/sim$n" ] && [ -e "$work/com$n" ] && break
    sleep 0.05
  done
  [ -e "$work/com$n" ] || { echo "socat made no line pair"; return 1; }
  wine_link_com "$n" "$(readlink -f "$work/com$n")"
}

# Starts the simulator on line n with the given options, once it serves.
start_sim() {
  local n=$1
  shift
  "$rtusim" --device "$work/sim$n" "$@" >"$work/sim$n.log" 2>&1 &
  pids+=($!)
  local i
  for i in $(seq 100); do
    grep -q '^rtusim: serving' "$work/sim$n.log" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "the simulator on line $n did not start:"; cat "$work/sim$n.log"
  return 1
}

# Runs a Windows test program (GoogleTest); passes when it exits 0 and its
# summary counts some tests passed and none failed.
run_windows_test() {
  local name=$1
  shift
  local log=$work/$name.out
  local status=0
  echo "== $name"
  (cd "$stage" && wine_run 300 "$name.exe" "$@" </dev/null >"$log" 2>&1) || status=$?
  # The next program starts with a server and desktop of its own: one that
  # starts while the last one's desktop process shuts down gets no display
  # driver.
  wine_stop
  tr -d '\r' <"$log"
  if [ $status -ne 0 ] || ! tr -d '\r' <"$log" | grep -qE '^\[  PASSED  \] [1-9][0-9]* tests?\.$' ||
     tr -d '\r' <"$log" | grep -q '^\[  FAILED  \]'; then
    echo "$name failed (exit status $status)"
    return 1
  fi
}

failures=0

# ---- the serial end to end ------------------------------------------------
cp tests/windows/report3.txt "$stage"/
start_line 5
start_line 6
start_sim 5 --stations 1,2 \
  --set hr:200=float:3.5 --set hr:202=float:-1.25 --set hr:210=ulong:305419896 \
  --set ir:300=float:100.5 --set ir:310=ulong:4000000000 --set hr:1000=0xA55A \
  --report "1:3=file:$stage/report3.txt"
# The retry cases of serial_end_to_end take up these actions in order.
start_sim 6 --stations 1 \
  --faults wrong-slave,correct,bad-crc*3,silent*3,bad-crc,correct,exception:2*3
run_windows_test serial_end_to_end KOVRINSX.DLL COM5 COM6 report3.txt || failures=$((failures + 1))

# ---- the dialog end to end ------------------------------------------------
run_windows_test dialog_end_to_end KOVRINSX.DLL || failures=$((failures + 1))

# ---- vpihost.exe against the Linux host -----------------------------------
# Both hosts run the demo gates file with a report fetch against one
# simulator with the built-in simulator's values, the Linux host first; the
# gate tables they print must be the same.
echo "== vpihost.exe"
cp host/demo.gates "$stage"/
start_line 7
start_sim 7 --stations 1 --set 1:hr:100=float:21.5 --set 1:hr:200=ulong:123456789
mkdir -p "$work/linux-ports"
ln -s "$work/com7" "$work/linux-ports/com1"
table() { tr -d '\r' | sed -n '/^  #  address/,$p'; }
linux_status=0
VPI_COM_DIR=$work/linux-ports timeout 60 build/host/vpihost/vpihost --port COM1 --gates host/demo.gates \
  report '!R01' 1 </dev/null >"$work/vpihost-linux.out" 2>"$work/vpihost-linux.err" || linux_status=$?
windows_status=0
(cd "$stage" && wine_run 120 vpihost.exe --port COM7 --gates demo.gates report '!R01' 1 \
  </dev/null >"$work/vpihost-windows.out" 2>"$work/vpihost-windows.err") || windows_status=$?
wine_stop
table <"$work/vpihost-windows.out"
if [ $linux_status -ne 0 ] || [ $windows_status -ne 0 ]; then
  echo "vpihost failed: Linux exit status $linux_status, Windows $windows_status"
  cat "$work/vpihost-linux.out" "$work/vpihost-linux.err" "$work/vpihost-windows.out" "$work/vpihost-windows.err"
  failures=$((failures + 1))
elif [ -z "$(table <"$work/vpihost-linux.out")" ] ||
     ! diff <(table <"$work/vpihost-linux.out") <(table <"$work/vpihost-windows.out"); then
  echo "vpihost.exe printed other values than the Linux host (diff above)"
  failures=$((failures + 1))
else
  echo "vpihost.exe printed the same gate table as the Linux host"
fi

# The Windows program's own help, and a clear error without --port: it has
# no built-in simulator to fall back on.
help_status=0
(cd "$stage" && wine_run 60 vpihost.exe --help </dev/null >"$work/vpihost-help.out" 2>&1) || help_status=$?
noport_status=0
(cd "$stage" && wine_run 60 vpihost.exe poll 0140001 </dev/null >"$work/vpihost-noport.out" 2>&1) ||
  noport_status=$?
if [ $help_status -ne 0 ] || grep -q VPI_COM_DIR "$work/vpihost-help.out" ||
   ! grep -q 'This build has no built-in device simulator' "$work/vpihost-help.out"; then
  echo "vpihost.exe --help does not describe the Windows program (exit status $help_status)"
  cat "$work/vpihost-help.out"
  failures=$((failures + 1))
elif [ $noport_status -ne 2 ] || ! grep -q 'give --port' "$work/vpihost-noport.out"; then
  echo "vpihost.exe without --port: exit status $noport_status, wanted 2 with a clear error"
  cat "$work/vpihost-noport.out"
  failures=$((failures + 1))
else
  echo "vpihost.exe --help describes the Windows program; without --port it says to give one"
fi

wine_stop
echo "$arch Windows build and ${KOVRIN_WINE_BITS}-bit Wine runs took $((SECONDS - started)) s"
[ $failures -eq 0 ] || { echo "$failures $arch Windows end-to-end run(s) failed"; exit 1; }
echo "$arch Windows end-to-end runs passed"
