#!/usr/bin/env bash
# --version of vpihost and rtusim: the project version as CMake sets it, and
# vpihost's line about the module it would load; the same of the vpihost the
# Debian package installs, and its defaults (the installed paths).
# usage: version_test.sh VERSION VPIHOST RTUSIM MODULE INSTALLED_VPIHOST INSTALLED_MODULE INSTALLED_GATES
set -u
version=$1 vpihost=$2 rtusim=$3 module=$4 installed=$5 installed_module=$6 installed_gates=$7
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# name | command | exit status | stdout line 1 | stdout line 2 (regex, or - for none)
cases=(
  "vpihost|$vpihost --module $module --version|0|vpihost $version|^module $module: [^:]+: .*RTU.*\$"
  "vpihost, options before|$vpihost --port COM1 --version report|0|vpihost $version|^module $module: "
  "vpihost, no module|$vpihost --module /nonexistent/kovrinsx.so --version|2|vpihost $version|-"
  "rtusim|$rtusim --version|0|rtusim $version|-"
  "installed vpihost|$installed --module $module --version|0|vpihost $version|^module $module: "
)
for entry in "${cases[@]}"; do
  IFS='|' read -r name command want_status want_first want_second <<<"$entry"
  out=$(timeout 20 $command 2>/dev/null)
  status=$?
  [ "$status" -eq "$want_status" ] || fail "$name: exit status $status, wanted $want_status"
  first=$(sed -n 1p <<<"$out")
  [ "$first" = "$want_first" ] || fail "$name: first line '$first', wanted '$want_first'"
  lines=$(grep -c '' <<<"$out")
  if [ "$want_second" = "-" ]; then
    [ "$lines" -eq 1 ] || fail "$name: $lines lines, wanted 1: $out"
  else
    sed -n 2p <<<"$out" | grep -qE -- "$want_second" || fail "$name: second line '$(sed -n 2p <<<"$out")'"
  fi
done

# A module that cannot be loaded is named on stderr.
timeout 20 "$vpihost" --module /nonexistent/kovrinsx.so --version 2>&1 >/dev/null |
  grep -q /nonexistent/kovrinsx.so || fail "no module: stderr does not name the module"

# The installed vpihost looks for the module and the demo gates where the
# package puts them.
usage=$(timeout 20 "$installed" --help)
for default in "--gates FILE .*(default $installed_gates)" "--module PATH .*(default $installed_module)"; do
  grep -qE -- "$default" <<<"$usage" || fail "installed vpihost --help: no '$default'"
done

[ "$failures" -eq 0 ] && echo "version lines hold ($version)"
exit $((failures > 0))
