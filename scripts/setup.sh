#!/usr/bin/env bash
# Installs what the build needs (Debian or Ubuntu), using sudo when not root; with the argument
# "web", also what the web build needs (Emscripten, and the acorn module its optimiser loads);
# with "test", also what the tests need: Xvfb and friends (with the core X fonts that SDL's
# question box draws with), the Windows cross toolchain and Wine, clang's fuzzer runtime, ffmpeg,
# the peer players of the benchmarks (and openmpt123 for scripts/compare_with_openmpt.sh), and the web build with Chromium and Node for its browser
# tests.
# Sourced by run.sh and test.sh.
packages=(cmake ninja-build g++ pkg-config libsdl2-dev libgtest-dev libgmock-dev libbenchmark-dev libpng-dev)
if [ "${1:-}" = web ] || [ "${1:-}" = test ]; then
    packages+=(emscripten node-acorn python3)
fi
if [ "${1:-}" = test ]; then
    packages+=(chromium)
    # Node 20 or later runs the browser tests (node --test); Debian's own nodejs, where none is there.
    command -v node >/dev/null || packages+=(nodejs)
    packages+=(xvfb xdotool x11-utils xfonts-base imagemagick sox ffmpeg
               mingw-w64 wine wine64
               clang-14 libclang-rt-14-dev
               libopenmpt-dev libxmp-dev openmpt123)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q -o DPkg::Lock::Timeout=300 || exit 1
    $sudo apt-get install -y -q -o DPkg::Lock::Timeout=300 --no-install-recommends "${missing[@]}" || exit 1
fi
