#!/usr/bin/env bash
# The library as others use it: installed into a fresh prefix, the C example built against it once
# through pkg-config and once through find_package, each run on a module, and the WAV each writes
# compared with xmrender's bytes for the same module.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR XMRENDER MODULE WORK_DIR
set -u
build=$1
source=$2
xmrender=$3
module=$4
work=$5
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install failed"; }
for f in include/xmplayer.h; do [ -f "$prefix/$f" ] || fail "$f was not installed"; done
pc=$(find "$prefix" -name xmplayer.pc | head -n 1)
[ -n "$pc" ] || fail "no xmplayer.pc was installed"
libdir=$(dirname "$(dirname "$pc")")
ls "$libdir"/libxmplayer.so.1 "$libdir"/libxmplayer.a >/dev/null || fail "the libraries are not in $libdir"
find "$prefix" -name XmPlayerConfig.cmake | grep -q . || fail "no CMake package was installed"

# Through pkg-config, with the C compiler.
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion xmplayer)" = "$("$xmrender" --version | cut -d' ' -f2)" ] || fail "pkg-config names another version"
cc -std=c99 -Wall -Wextra -o "$work/xm2wav-pkgconfig" "$source/examples/xm2wav.c" $(pkg-config --cflags --libs xmplayer) \
    -Wl,-rpath,"$libdir" 2>"$work/cc.log" || { cat "$work/cc.log"; fail "the C example does not build through pkg-config"; }

# Through find_package, as a CMake project of its own.
cmake -S "$source/examples" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log" 2>&1 &&
    cmake --build "$work/cmake" >>"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "the C example does not build through find_package"; }

"$xmrender" "$module" "$work/xmrender.wav" >/dev/null || fail "xmrender failed"
for example in "$work/xm2wav-pkgconfig" "$work/cmake/xm2wav"; do
    ldd "$example" | grep -q "$libdir/libxmplayer.so.1" || fail "$example does not use the installed shared library"
    "$example" "$module" "$work/example.wav" || fail "$example failed"
    cmp -s "$work/example.wav" "$work/xmrender.wav" || fail "$example wrote other bytes than xmrender"
done
echo "installed into $prefix; xm2wav built through pkg-config and find_package writes xmrender's bytes"
