#!/usr/bin/env bash
# CI: the packages. cpack makes the Debian package from the native build
# (build/) and the Windows ZIP from the 32-bit mingw build (build-win/). The
# ZIP's DLL goes through the export and import check, and every program and
# library in its try/ folder must import nothing but Windows' own DLLs and
# the files beside it. The .deb is installed with dpkg, vpihost is run from
# PATH against its built-in simulator, and the package is removed again
# (purged, so that dpkg keeps no record of it).
set -euo pipefail
cd "$(dirname "$0")/.."
source .ci/ensure-packages.sh
ensure_packages "${KOVRIN_BUILD_PACKAGES[@]}" help2man dpkg-dev lintian unzip g++-mingw-w64-i686 \
  binutils-mingw-w64-i686

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null || ! sudo -n true 2>/dev/null; then
    echo "package.sh: installing the .deb needs root or password-less sudo"
    exit 1
  fi
  sudo="sudo -n"
fi

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
jobs=$(nproc)

cmake --preset default -DKOVRIN_WERROR=$werror >/dev/null
timeout 1800 cmake --build build -j "$jobs" --target kovrinsx zelpro vpihost_installed rtusim
rm -rf build/packages
(cd build && timeout 600 cpack >/dev/null)
deb=$(ls build/packages/kovrinsx_*.deb)
version=$(dpkg-deb -f "$deb" Version)
# What Debian asks of a package; the maintainer scripts leave ldconfig alone,
# as the libraries lie in a private folder.
timeout 600 lintian --fail-on error "$deb" || { echo "package.sh: lintian finds errors in $deb"; exit 1; }
for script in postinst postrm; do
  if dpkg-deb -I "$deb" "$script" | grep -v "^#" | grep -w ldconfig >/dev/null; then echo "package.sh: $script calls ldconfig"; exit 1; fi
done
contents=$(dpkg-deb -c "$deb")
for file in copyright changelog.gz; do
  grep -q " \./usr/share/doc/kovrinsx/$file$" <<<"$contents" ||
    { echo "package.sh: no /usr/share/doc/kovrinsx/$file in $deb"; exit 1; }
done

cmake --preset mingw -DKOVRIN_WERROR=$werror >/dev/null
timeout 1800 cmake --build build-win -j "$jobs" --target kovrinsx zelpro vpihost
rm -rf build-win/packages
(cd build-win && timeout 600 cpack >/dev/null)
zip=build-win/packages/kovrinsx-$version-win32.zip
[ -f "$zip" ] || { echo "package.sh: no $zip (the versions of the two packages differ?)"; exit 1; }

work=$(mktemp -d)
installed=""
cleanup() {
  if [ -n "$installed" ]; then
    $sudo timeout 300 dpkg --purge kovrinsx >/dev/null ||
      echo "package.sh: could not remove kovrinsx (dpkg --purge kovrinsx)"
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The ZIP.
unzip -q "$zip" -d "$work/zip"
top=$work/zip/kovrinsx-$version-win32
expected="INSTALL.txt KOVRIN.INT KOVRINSX.DLL try/KOVRIN.INT try/KOVRINSX.DLL try/ZELPRO.dll try/demo.gates try/vpihost.exe"
found=$(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
if [ "$found" != "$expected " ]; then
  echo "package.sh: the ZIP holds: $found"
  echo "                  wanted: $expected"
  exit 1
fi
bash .ci/check-dll.sh "$top/KOVRINSX.DLL"
cmp -s "$top/KOVRINSX.DLL" "$top/try/KOVRINSX.DLL" || { echo "package.sh: try/KOVRINSX.DLL differs"; exit 1; }
for file in "$top"/try/*.exe "$top"/try/*.dll "$top"/try/*.DLL; do
  for name in $(i686-w64-mingw32-objdump -p "$file" | awk '/DLL Name:/ {print $3}'); do
    case "${name^^}" in
      KERNEL32.DLL | USER32.DLL | MSVCRT.DLL) ;;
      *)
        if ! ls "$top/try" | grep -qixF -- "$name"; then
          echo "package.sh: try/$(basename "$file") imports $name, which is neither Windows' own nor in try/"
          exit 1
        fi
        ;;
    esac
  done
done
cmp -s "$top/KOVRIN.INT" "$top/try/KOVRIN.INT" || { echo "package.sh: try/KOVRIN.INT differs"; exit 1; }
for text in KOVRIN.INT INSTALL.txt try/demo.gates try/KOVRIN.INT; do
  if grep -q $'[^\r]$' "$top/$text"; then echo "package.sh: $text has lines without CR LF"; exit 1; fi
done
echo "package.sh: $zip holds $expected; try/ needs nothing else"

# The Debian package, installed and run as a user would.
if dpkg-query -W -f='${Status}' kovrinsx 2>/dev/null | grep -q 'install ok installed'; then
  echo "package.sh: kovrinsx is installed already; remove it first (dpkg -r kovrinsx)"
  exit 1
fi
installed=yes
$sudo timeout 300 dpkg -i "$deb" >/dev/null
(
  cd "$work"
  export PATH=/usr/bin:/bin
  [ "$(command -v vpihost)" = /usr/bin/vpihost ] || { echo "package.sh: vpihost is not /usr/bin/vpihost"; exit 1; }
  versions=$(timeout 60 vpihost --version)
  grep -qx "vpihost $version" <<<"$versions" || { echo "package.sh: vpihost --version: $versions"; exit 1; }
  grep -q "^module /usr/lib/kovrin/kovrinsx.so: " <<<"$versions" ||
    { echo "package.sh: vpihost --version: $versions"; exit 1; }
  [ "$(timeout 60 rtusim --version)" = "rtusim $version" ] || { echo "package.sh: rtusim --version"; exit 1; }
  if ! timeout 120 vpihost report '!R01' 1 >demo.txt 2>&1; then
    echo "package.sh: the installed vpihost failed:"; cat demo.txt; exit 1
  fi
  for line in 'report 1 fetched' ' 7  0170101 +float +21.5 +0 done' ' 8  0180201 +int32 +123456789 +0 done'; do
    grep -qE -- "$line" demo.txt || { echo "package.sh: no '$line' in:"; cat demo.txt; exit 1; }
  done
  for page in vpihost rtusim; do
    zcat "/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH ${page^^} " ||
      { echo "package.sh: no man page for $page"; exit 1; }
  done
  for section in '"GATE ADDRESSES"' '"INIT FILE"' ENVIRONMENT '"EXIT STATUS"'; do
    zcat /usr/share/man/man1/vpihost.1.gz | grep -xF ".SH $section" >/dev/null ||
      { echo "package.sh: the vpihost man page has no section $section"; exit 1; }
  done
)
$sudo timeout 300 dpkg --purge kovrinsx >/dev/null
installed=""
for file in /usr/bin/vpihost /usr/bin/rtusim /usr/lib/kovrin /usr/share/kovrin /usr/share/doc/kovrinsx; do
  [ ! -e "$file" ] || { echo "package.sh: $file is left after dpkg --purge"; exit 1; }
done
echo "package.sh: $deb installed, vpihost ran from PATH against its built-in simulator, removed again"
