#!/bin/sh
# Only platform/ speaks to the operating system: the driver's other folders
# include no system header and test for no platform.
#
#   sh check_os_layer.sh SOURCE_DIR
set -u
cd "$1" || exit 2
status=0
for dir in entry serial address transfer browse dialog; do
  [ -d "$dir" ] || continue
  headers=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<[^>]*(\.h|/[^>]*)>' "$dir" \
    --include='*.cpp' --include='*.h')
  tests=$(grep -rnE '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|WIN32|__linux__|__unix__|__APPLE__|_MSC_VER|__MINGW32__|__MINGW64__|_POSIX_VERSION)\b' "$dir" \
    --include='*.cpp' --include='*.h')
  if [ -n "$headers" ]; then
    echo "$dir/ includes a system header (only platform/ may):"; echo "$headers"; status=1
  fi
  if [ -n "$tests" ]; then
    echo "$dir/ tests for a platform (only platform/ may):"; echo "$tests"; status=1
  fi
done
[ $status -eq 0 ] && echo "the driver's folders reach the system through platform/ only"
exit $status
