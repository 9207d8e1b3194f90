#!/usr/bin/env bash
# Cross-builds the library ("zarni compress.dll" and its import library) and
# zarni.exe for 32-bit and 64-bit Windows with mingw-w64, into
# build-windows/i686 and build-windows/x86_64, and checks the 32-bit DLL's
# export table against the header. Where Wine is installed, the library's
# tests then run on both builds; --test installs Wine first, --fresh starts
# the builds from scratch.
set -euo pipefail
cd "$(dirname "$0")/.."

with_tests=0
for option in "$@"; do
  case "$option" in
    --test) with_tests=1 ;;
    --fresh) rm -rf build-windows/i686 build-windows/x86_64 ;;
    *) echo "usage: $0 [--test] [--fresh]" >&2; exit 2 ;;
  esac
done

if ((with_tests)); then scripts/setup.sh --windows --wine; else scripts/setup.sh --windows; fi

have_wine=0
command -v wine >/dev/null && have_wine=1
if ((have_wine)); then
  # A prefix of our own, without the prompts to install Mono and Gecko.
  export WINEPREFIX="$PWD/build-windows/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p build-windows
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    timeout 600 wineboot --init
  fi
  emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR=wine)
else
  emulator=(-UCMAKE_CROSSCOMPILING_EMULATOR)
fi

for arch in i686 x86_64; do
  cmake -S . -B "build-windows/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-$arch.cmake" \
        -DKORVALE_BUILD_EDITOR=OFF -DKORVALE_BUILD_BENCH=OFF -DZARNI_FUZZ=OFF "${emulator[@]}"
  cmake --build "build-windows/$arch" -j"$(nproc)"
done

# Needs no Wine: objdump reads the table.
ctest --test-dir build-windows/i686 -R '^exports_match_header$' --output-on-failure

if ((have_wine)); then
  # One test program per build: run both at once, one per core.
  echo "Running the library's tests on both builds under Wine"
  pids=()
  for arch in i686 x86_64; do
    ctest --test-dir "build-windows/$arch" --output-on-failure >"build-windows/$arch-tests.log" 2>&1 &
    pids+=($!)
  done
  failed=0
  for i in 0 1; do
    wait "${pids[i]}" || failed=1
  done
  for arch in i686 x86_64; do
    echo "== $arch =="
    cat "build-windows/$arch-tests.log"
  done
  # Leave no Wine server behind.
  wineserver -w
  ((failed == 0)) || exit 1
else
  echo "Wine is not installed, so the library's tests did not run on the Windows builds" \
       "(scripts/build-windows.sh --test installs it and runs them)."
fi
