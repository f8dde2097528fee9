#!/usr/bin/env bash
# The library as others use it: installed into a fresh prefix (the shared library with SONAME
# libxmplayer.so.MAJOR, the static one, the header, the packages, xmrender and xmplay), the C
# example built against it through pkg-config and through find_package from a C-only CMake
# project, each shared and static, and every one run on a module with and without options: the
# WAV each writes must be the installed xmrender's bytes for the same options.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR MODULE WORK_DIR
set -u
build=$1
source=$2
module=$3
work=$4
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install failed"; }
for f in include/xmplayer.h bin/xmrender bin/xmplay; do [ -f "$prefix/$f" ] || fail "$f was not installed"; done
pc=$(find "$prefix" -name xmplayer.pc | head -n 1)
[ -n "$pc" ] || fail "no xmplayer.pc was installed"
libdir=$(dirname "$(dirname "$pc")")
major=$(sed -n 's/^#define XMPLAYER_VERSION_MAJOR \([0-9]*\)$/\1/p' "$source/player/include/xmplayer.h")
version=$major.$(sed -n 's/^#define XMPLAYER_VERSION_MINOR \([0-9]*\)$/\1/p' "$source/player/include/xmplayer.h").$(
    sed -n 's/^#define XMPLAYER_VERSION_PATCH \([0-9]*\)$/\1/p' "$source/player/include/xmplayer.h")
ls "$libdir/libxmplayer.so.$major" "$libdir/libxmplayer.a" >/dev/null || fail "the libraries are not in $libdir"
soname=$(readelf -d "$libdir/libxmplayer.so.$version" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
[ "$soname" = "libxmplayer.so.$major" ] || fail "the shared library's SONAME is '$soname', not libxmplayer.so.$major"
find "$prefix" -name XmPlayerConfig.cmake | grep -q . || fail "no CMake package was installed"
xmrender=$prefix/bin/xmrender

# Through pkg-config, with the C compiler: the shared library, then the static one.
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion xmplayer)" = "$version" ] || fail "pkg-config names version $(pkg-config --modversion xmplayer), not $version"
cc -std=c99 -Wall -Wextra -Werror -o "$work/xm2wav-pkgconfig" "$source/examples/xm2wav.c" $(pkg-config --cflags --libs xmplayer) \
    -Wl,-rpath,"$libdir" 2>"$work/cc.log" || { cat "$work/cc.log"; fail "the C example does not build through pkg-config"; }
cc -std=c99 -Wall -Wextra -Werror -DXMPLAYER_STATIC -o "$work/xm2wav-pkgconfig-static" "$source/examples/xm2wav.c" \
    $(pkg-config --cflags xmplayer) -L"$libdir" -Wl,-Bstatic -lxmplayer -Wl,-Bdynamic \
    $(pkg-config --libs-only-l --static xmplayer | sed 's/-lxmplayer//') 2>"$work/cc.log" ||
    { cat "$work/cc.log"; fail "the C example does not link the static library through pkg-config"; }

# Through find_package, as a C-only CMake project of its own, with either target.
for kind in shared static; do
    flag=OFF
    [ "$kind" = static ] && flag=ON
    cmake -S "$source/examples" -B "$work/cmake-$kind" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DXM2WAV_STATIC=$flag \
        >"$work/cmake-$kind.log" 2>&1 && cmake --build "$work/cmake-$kind" >>"$work/cmake-$kind.log" 2>&1 ||
        { cat "$work/cmake-$kind.log"; fail "the C example does not build through find_package ($kind)"; }
done

check() {  # runs every example with options $@ and compares with xmrender's WAV
    "$xmrender" "$@" "$module" "$work/xmrender.wav" >/dev/null || fail "xmrender $* failed"
    for example in "$work/xm2wav-pkgconfig" "$work/xm2wav-pkgconfig-static" "$work/cmake-shared/xm2wav" "$work/cmake-static/xm2wav"; do
        "$example" "$@" "$module" "$work/example.wav" || fail "$example $* failed"
        cmp -s "$work/example.wav" "$work/xmrender.wav" || fail "$example $* wrote other bytes than xmrender"
    done
}
for example in "$work/xm2wav-pkgconfig" "$work/cmake-shared/xm2wav"; do
    ldd "$example" | grep -q "$libdir/libxmplayer.so.$major" || fail "$example does not use the installed shared library"
done
for example in "$work/xm2wav-pkgconfig-static" "$work/cmake-static/xm2wav"; do
    ldd "$example" | grep -q libxmplayer && fail "$example uses a shared library: it should hold the static one"
done
check
check --rate 48000 --interpolation cubic --start 20.5 --profile ft2
echo "installed into $prefix (SONAME libxmplayer.so.$major, xmrender, xmplay); xm2wav built through pkg-config" \
    "and find_package, shared and static, writes xmrender's bytes"
