#!/usr/bin/env bash
# Installs the build and test tools this project needs, and only those that
# are missing. Safe to run again: it does nothing when everything is there.
#   install-deps.sh             what every build and test needs
#   install-deps.sh screenshot  that, and the virtual X server and the screen
#                               capture that `make screenshot` needs as well
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

packages=(cmake make g++ clang libclang-rt-14-dev clang-format python3 openssl osslsigncode softhsm2 libengine-pkcs11-openssl
          wixl msitools python3-pefile
          mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          binutils-mingw-w64-x86-64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
          binutils-mingw-w64-i686 wine64 wine64-tools wine32:i386 locales
          googletest libgtest-dev libgmock-dev)
case "${1:-}" in
  "") ;;
  screenshot) packages+=(xvfb imagemagick) ;;
  *) echo "usage: install-deps.sh [screenshot]" >&2; exit 2 ;;
esac

for pkg in "${packages[@]}"; do
  have_pkg "$pkg" || need+=("$pkg")
done

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${need[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# The 32-bit Wine (wine32:i386), which runs the 32-bit Scanmenu.dll's tests in
# the WOW64 half of the 64-bit prefix, comes from the i386 half of the archive.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${need[@]}" >/dev/null
