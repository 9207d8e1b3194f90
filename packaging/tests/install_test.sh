#!/usr/bin/env bash
# install_test.sh STEP BUILD_DIR WORK_DIR, with CC, CMAKE and GENERATOR set.
#   install       cmake --install into WORK_DIR/prefix and check what lies there
#   pkg-config    build a C program with pkg-config's flags; it must print 112
#   find-package  build it with find_package(ZarniCompress); it must print 112
#   deb           cpack -G DEB: the package holds the same files under /usr and
#                 depends on the Qt libraries the editor links
set -euo pipefail
step=$1 build=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
prefix=$work/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_112() {
  local out
  out=$("$1") || fail "$1 exited with $?"
  [[ $out == 112 ]] || fail "$1 printed '$out', not 112"
  echo "$1 printed 112"
}

case $step in
  install)
    rm -rf "$work"
    mkdir -p "$work"
    "$CMAKE" --install "$build" --prefix "$prefix" >"$work/install.log"
    lib=$(find "$prefix" -name 'libzarnicompress.so.1.*' -type f)
    [[ -n $lib ]] || fail "no libzarnicompress.so.1.* installed"
    libdir=$(dirname "$lib")
    soname=$(objdump -p "$lib" | awk '$1 == "SONAME" {print $2}')
    [[ $soname == libzarnicompress.so.1 ]] || fail "SONAME is '$soname'"
    [[ $(readlink "$libdir/libzarnicompress.so.1") == "$(basename "$lib")" ]] ||
      fail "libzarnicompress.so.1 does not point at $(basename "$lib")"
    [[ -L $libdir/libzarnicompress.so ]] || fail "no libzarnicompress.so link"
    for f in bin/korvale bin/korvale-cli bin/zarni include/zarni_compress.h share/applications/korvale.desktop \
             share/icons/hicolor/scalable/apps/korvale.svg; do
      [[ -e $prefix/$f ]] || fail "$f is not installed"
    done
    for t in 0 1 2 3 4 5 6 7; do
      [[ -s $prefix/share/korvale/t0$t.bmp ]] || fail "share/korvale/t0$t.bmp is not installed"
    done
    [[ ! -e $prefix/bin/t00.bmp ]] || fail "tile sheets went into bin/"
    # The installed programs find the installed library and sheets without help.
    [[ $("$prefix/bin/zarni" pc2snes 0x8200 -k hirom --header) == 0xC08000 ]] ||
      fail "the installed zarni does not run"
    # A track picture needs the library, loaded at run time, and a tile sheet.
    "$prefix/bin/korvale-cli" export "$build/demo/demo.smc" 0 "$work/track00.png" >/dev/null ||
      fail "the installed korvale-cli cannot draw a track"
    [[ -s $work/track00.png ]] || fail "the installed korvale-cli drew nothing"
    echo "installed into $prefix"
    ;;
  pkg-config)
    export PKG_CONFIG_PATH
    PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name zarnicompress.pc)")
    [[ $(pkg-config --modversion zarnicompress) == 1.12 ]] || fail "pkg-config version"
    libdir=$(pkg-config --variable=libdir zarnicompress)
    # shellcheck disable=SC2046
    "$CC" -std=c99 -Wall -Wextra -Wpedantic -Werror "$here/print_version.c" \
          -o "$work/pc_print_version" $(pkg-config --cflags --libs zarnicompress) \
          -Wl,-rpath,"$libdir"
    expect_112 "$work/pc_print_version"
    ;;
  find-package)
    rm -rf "$work/cmake-consumer"
    "$CMAKE" -S "$here/cmake-consumer" -B "$work/cmake-consumer" -G "$GENERATOR" \
             -DCMAKE_C_COMPILER="$CC" -DCMAKE_PREFIX_PATH="$prefix" \
             -DCMAKE_C_FLAGS="-Wall -Wextra -Wpedantic -Werror" >"$work/cmake-consumer.log"
    "$CMAKE" --build "$work/cmake-consumer" >>"$work/cmake-consumer.log"
    expect_112 "$work/cmake-consumer/print_version"
    ;;
  deb)
    rm -rf "$work/deb"
    (cd "$build" && "$CPACK" -G DEB -B "$work/deb") >"$work/cpack.log"
    deb=$(find "$work/deb" -maxdepth 1 -name 'korvale_*.deb')
    [[ -n $deb ]] || fail "cpack made no .deb"
    files=$(dpkg-deb -c "$deb")
    for f in usr/bin/korvale usr/bin/zarni usr/lib/libzarnicompress.so.1 \
             usr/include/zarni_compress.h usr/lib/pkgconfig/zarnicompress.pc \
             usr/lib/cmake/ZarniCompress/ZarniCompressConfig.cmake usr/share/korvale/t07.bmp \
             usr/share/applications/korvale.desktop; do
      grep -q " \./$f" <<<"$files" || fail "$deb lacks /$f"
    done
    depends=$(dpkg-deb -f "$deb" Depends)
    for d in libqt6widgets6 qt6-qpa-plugins libstdc++6; do
      grep -q "$d" <<<"$depends" || fail "$deb does not depend on $d: $depends"
    done
    echo "$(basename "$deb"): Depends: $depends"
    ;;
  *) fail "unknown step $step" ;;
esac
