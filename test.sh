#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the release build, the
# AddressSanitizer + UndefinedBehaviorSanitizer build and the ThreadSanitizer build. Exits
# non-zero on any failure.
set -e
cd "$(dirname "$0")"
source scripts/setup.sh
for preset in release asan tsan; do
    echo "== $preset =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j 2
done
