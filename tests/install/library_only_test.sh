#!/usr/bin/env bash
# The library built on its own (-DSKR_LIBRARY_ONLY=ON) as a packager would, with SDL2, libpng,
# GoogleTest and Google Benchmark out of reach: it configures, builds, installs the library and
# xmrender (no xmplay without SDL2), and the installed xmrender renders the demo's song to the
# bytes of the full build's.
# Usage: library_only_test.sh SOURCE_DIR XMRENDER MODULE WORK_DIR
set -u
source=$1
reference=$2
module=$3
work=$4
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$work"
mkdir -p "$work"

cmake -S "$source" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKR_LIBRARY_ONLY=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_SDL2=ON -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >"$work/build.log" 2>&1 &&
    cmake --build "$work/build" >>"$work/build.log" 2>&1 &&
    cmake --install "$work/build" --prefix "$work/prefix" >>"$work/build.log" 2>&1 ||
    { tail -n 30 "$work/build.log"; fail "the library-only build failed"; }
[ -x "$work/prefix/bin/xmrender" ] || fail "xmrender was not installed"
[ -e "$work/prefix/bin/xmplay" ] && fail "xmplay was installed without SDL2"
[ -e "$work/build/skr4mm3lb0d" ] && fail "the demo was built"
find "$work/prefix" -name 'libxmplayer.so.*' | grep -q . || fail "no shared library was installed"
"$work/prefix/bin/xmrender" --seconds 20 "$module" "$work/alone.wav" >/dev/null || fail "the installed xmrender failed"
"$reference" --seconds 20 "$module" "$work/full.wav" >/dev/null || fail "the full build's xmrender failed"
cmp -s "$work/alone.wav" "$work/full.wav" || fail "the library-only xmrender renders other bytes"
echo "the library builds alone without SDL2, libpng, GoogleTest or Google Benchmark; its xmrender renders the same bytes"
