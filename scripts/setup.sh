#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
#   --with-screenshots  also what the user guide's screenshots need
#   --windows           the mingw-w64 cross compilers for the Windows builds
#   --wine              Wine, 64-bit and 32-bit, to run the Windows builds' tests
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev binutils
          qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev zlib1g-dev
          fonts-dejavu-core pkg-config dpkg-dev file)
need_i386=0
for option in "$@"; do
  case "$option" in
    --with-screenshots) packages+=(xvfb xauth xdotool imagemagick) ;;
    --windows) packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest) ;;
    --wine) packages+=(wine wine64 wine32:i386); need_i386=1 ;;
    *) echo "setup.sh: unknown option $option" >&2; exit 2 ;;
  esac
done

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
# Other package tools may hold the lock for a while; wait rather than fail.
apt_get=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)

updated=0
if ((need_i386)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
  # 32-bit Wine comes from the i386 architecture.
  $sudo dpkg --add-architecture i386
  "${apt_get[@]}" update
  updated=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  ((updated)) || "${apt_get[@]}" update
  "${apt_get[@]}" install -y --no-install-recommends "${missing[@]}"
fi
