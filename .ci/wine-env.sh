# Wine for the Windows end-to-end runs. Sourced by .ci/windows-tests.sh and
# docs/make-dialog-picture.sh.
#
# KOVRIN_WINE_BITS (32 or 64, default 32) picks the Wine: 32-bit Wine runs
# the i686 build and needs a kernel that executes 32-bit x86 programs;
# 64-bit Wine runs the x86-64 build and needs no such thing.
#
#   wine_install [extra packages]   installs wine, fonts-wine and the loader
#                                   of KOVRIN_WINE_BITS (wine32:i386, wine64)
#   wine_prefix_create DIR          a fresh prefix in DIR, ready to use
#   wine_prefix_use_x11             lets the prefix draw on $DISPLAY
#   wine_link_com N PATH            the prefix's COMN is the device PATH
#   wine_run TIMEOUT PROGRAM ARGS   runs PROGRAM under wine, bounded
#   wine_stop                       ends the prefix's wineserver (bounded)
#
# Every wait is bounded: a hung Wine must fail the run, not stall it.

WINE_BOOT_TIMEOUT=${WINE_BOOT_TIMEOUT:-180}
KOVRIN_WINE_BITS=${KOVRIN_WINE_BITS:-32}

wine_install() {
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  local wanted=(wine wine64 fonts-wine "$@")
  if [ "$KOVRIN_WINE_BITS" = 32 ]; then
    # wine32 is an i386 package.
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    wanted+=(wine32:i386)
  fi
  local missing=() pkg
  for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The Wine binaries: Debian puts the loaders under /usr/lib/wine. The 64-bit
# loader is named directly: Debian's wine wrapper prefers the 32-bit one
# whenever it is installed, even where the kernel cannot execute it.
wine_find_tools() {
  if [ "$KOVRIN_WINE_BITS" = 64 ]; then
    WINE=$(command -v wine64 || true)
    [ -z "$WINE" ] && [ -x /usr/lib/wine/wine64 ] && WINE=/usr/lib/wine/wine64
  else
    WINE=$(command -v wine || true)
    [ -z "$WINE" ] && [ -x /usr/lib/wine/wine ] && WINE=/usr/lib/wine/wine
  fi
  WINESERVER=$(command -v wineserver || true)
  [ -z "$WINESERVER" ] && [ -x /usr/lib/wine/wineserver ] && WINESERVER=/usr/lib/wine/wineserver
  if [ -z "$WINE" ] || [ -z "$WINESERVER" ]; then
    echo "wine or wineserver not found" >&2
    return 1
  fi
  export WINE WINESERVER
}

wine_prefix_create() {
  local dir=$1
  wine_find_tools
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  export WINEPREFIX=$dir
  export WINEARCH=win$KOVRIN_WINE_BITS
  export WINEDEBUG=-all
  # No Mono or Gecko installers, no menu entries.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  local display=${DISPLAY-}
  unset DISPLAY
  if ! timeout "$WINE_BOOT_TIMEOUT" "$WINE" wineboot -i >/dev/null 2>&1; then
    echo "wineboot -i failed or timed out" >&2
    [ -n "$display" ] && export DISPLAY=$display
    return 1
  fi
  timeout 60 "$WINESERVER" -w || true

  # Fonts for the dialogs: the fonts-wine files, linked into the prefix.
  local fonts=$WINEPREFIX/drive_c/windows/Fonts f
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/*; do
    [ -e "$f" ] && ln -sf "$f" "$fonts/$(basename "$f")"
  done

  # Dialogs without an X server; a crash ends the program instead of
  # waiting in the debugger's dialog.
  local reg=$WINEPREFIX/kovrin-settings.reg
  cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Graphics"="null"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
  timeout 60 "$WINE" regedit /S "$reg" >/dev/null 2>&1 || {
    echo "regedit failed or timed out" >&2
    [ -n "$display" ] && export DISPLAY=$display
    return 1
  }
  # The settings take effect once the server has read them back.
  wine_stop
  [ -n "$display" ] && export DISPLAY=$display
  return 0
}

# Lets the prefix draw on the X display in $DISPLAY (for a screenshot): the
# X11 driver, drawing its own window frames since no window manager runs.
wine_prefix_use_x11() {
  local reg=$WINEPREFIX/kovrin-x11.reg
  cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Graphics"="x11"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"Managed"="N"
REG
  timeout 60 "$WINE" regedit /S "$reg" >/dev/null 2>&1 || {
    echo "regedit failed or timed out" >&2
    return 1
  }
  wine_stop
}

wine_run() {
  local limit=$1
  shift
  timeout --kill-after=10 "$limit" "$WINE" "$@"
}

wine_stop() {
  timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
  timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
}

# Points the prefix's COMn at a device path (n from 1).
wine_link_com() {
  local n=$1 target=$2
  mkdir -p "$WINEPREFIX/dosdevices"
  ln -sfn "$target" "$WINEPREFIX/dosdevices/com$n"
}
