#!/usr/bin/env bash
# Installs what the build and the tests need (Debian or Ubuntu), using sudo when not root.
# Sourced by run.sh and test.sh.
packages=(cmake ninja-build g++ pkg-config libsdl2-dev libgtest-dev libgmock-dev libbenchmark-dev
          xvfb xdotool x11-utils imagemagick sox libpng-dev ffmpeg
          mingw-w64 wine wine64
          clang-14 libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q || exit 1
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" || exit 1
fi
