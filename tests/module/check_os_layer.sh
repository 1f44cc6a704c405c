#!/bin/sh
# Only platform/ speaks to the operating system: the driver's other folders
# include no system header and test for no platform. The programs beside the
# driver (the host library stand-in, vpihost, the simulator, the benchmark,
# the fuzz targets) reach it through programs/, whose per-platform files
# CMake chooses: they include no operating system header and test for no
# platform either.
#
#   sh check_os_layer.sh SOURCE_DIR
set -u
cd "$1" || exit 2
status=0
platform_test='^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|WIN32|__linux__|__unix__|__APPLE__|_MSC_VER|__MINGW32__|__MINGW64__|_POSIX_VERSION)\b'

# check DIR HEADERS WHAT ALLOWED: fails (status 1) when DIR includes a header
# the pattern HEADERS names or tests for a platform.
check() {
  [ -d "$1" ] || return 0
  headers=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($2)>" "$1" --include='*.cpp' --include='*.h')
  tests=$(grep -rnE "$platform_test" "$1" --include='*.cpp' --include='*.h')
  if [ -n "$headers" ]; then
    echo "$1/ includes $3 (only $4 may):"; echo "$headers"; status=1
  fi
  if [ -n "$tests" ]; then
    echo "$1/ tests for a platform (only $4 may):"; echo "$tests"; status=1
  fi
}

for dir in entry serial address transfer browse dialog; do
  check "$dir" '[^>]*(\.h|/[^>]*)' "a system header" "platform/"
done
os_headers='(sys|linux|asm)/[^>]*|unistd\.h|fcntl\.h|termios\.h|poll\.h|dlfcn\.h|spawn\.h|pthread\.h|sched\.h|windows\.h|winbase\.h|io\.h'
for dir in host sim bench fuzz; do
  check "$dir" "$os_headers" "an operating system header" "platform/ and programs/"
done
[ $status -eq 0 ] && echo "the driver's folders reach the system through platform/ only, the programs through programs/"
exit $status
