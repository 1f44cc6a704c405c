#!/usr/bin/env bash
# Makes docs/tag-format-dialog.png: the address dialog of KOVRINSX.DLL as a
# Windows host shows it, taken from Wine on a virtual X display (Xvfb).
# Builds what it needs and installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/ensure-packages.sh
source .ci/wine-env.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}" g++-mingw-w64-i686 binutils-mingw-w64-i686
wine_install xvfb x11-apps netpbm

cmake --preset mingw >/dev/null
cmake --build build-win -j "$(nproc)" --target kovrinsx dialog_picture zelpro

work=$(mktemp -d /tmp/kovrin-picture.XXXXXX)
xvfb=""
wine_pid=""
cleanup() {
  [ -n "$wine_pid" ] && kill "$wine_pid" 2>/dev/null || true
  [ -n "${WINESERVER:-}" ] && wine_stop
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wine_prefix_create "$work/prefix"

# A display of our own; Xvfb writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"

wine_prefix_use_x11

stage=$work/stage
mkdir -p "$stage"
cp build-win/KOVRINSX.DLL build-win/host/ZELPRO.dll build-win/tests/windows/dialog_picture.exe "$stage"/
(cd "$stage" && wine_run 120 dialog_picture.exe KOVRINSX.DLL taken </dev/null >"$work/out" 2>"$work/err") &
wine_pid=$!
for _ in $(seq 600); do
  grep -q '^dialog ' "$work/out" 2>/dev/null && break
  grep -q '^no dialog' "$work/out" 2>/dev/null && break
  sleep 0.1
done
read -r _ x y w h < <(tr -d '\r' <"$work/out" | grep '^dialog ') || { echo "the dialog did not show:"; cat "$work/out" "$work/err"; exit 1; }
xwd -root -silent >"$work/screen.xwd"
touch "$stage/taken"
timeout 60 tail --pid="$wine_pid" -f /dev/null || true
wine_pid=""

xwdtopnm "$work/screen.xwd" 2>/dev/null | pnmcut -left "$x" -top "$y" -width "$w" -height "$h" |
  pnmtopng >docs/tag-format-dialog.png
echo "docs/tag-format-dialog.png: ${w}x${h}"
