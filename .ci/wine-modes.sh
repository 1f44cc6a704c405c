# Which Windows runs this machine can do. Sourced by .ci/run.
#
#   wine_modes   sets WINE_MODES (32 and/or 64, for .ci/windows-tests.sh) and
#                prints one line saying what it found and chose
#
# KOVRIN_WINE=auto|32|64 (default auto). auto runs the 32-bit product under
# 32-bit Wine where the kernel executes 32-bit x86 programs, and the x86-64
# build under 64-bit Wine everywhere. 64 runs only the latter, as CI does on
# a machine without 32-bit execution; 32 runs only the former.

# Builds and runs a tiny 32-bit program; any failure on the way means no.
runs_32bit_programs() {
  local dir status=1
  dir=$(mktemp -d /tmp/kovrin-m32.XXXXXX)
  if printf 'int main(void) { return 0; }\n' >"$dir/probe.c" &&
     gcc -m32 "$dir/probe.c" -o "$dir/probe" >/dev/null 2>&1 &&
     timeout 10 "$dir/probe" >/dev/null 2>&1; then
    status=0
  fi
  rm -rf "$dir"
  return $status
}

wine_modes() {
  local runs32=no
  runs_32bit_programs && runs32=yes
  local wanted=${KOVRIN_WINE:-auto}
  case "$wanted" in
    auto)
      if [ $runs32 = yes ]; then WINE_MODES=(32 64); else WINE_MODES=(64); fi ;;
    32)
      if [ $runs32 = no ]; then
        echo "KOVRIN_WINE=32, but this machine cannot run 32-bit x86 programs" >&2
        return 1
      fi
      WINE_MODES=(32) ;;
    64) WINE_MODES=(64) ;;
    *) echo "KOVRIN_WINE must be auto, 32 or 64, not '$wanted'" >&2; return 1 ;;
  esac
  local names=${WINE_MODES[*]/%/-bit}
  echo "32-bit x86 programs run on this machine: $runs32; KOVRIN_WINE=$wanted: Windows runs under ${names// / and } Wine"
}
