#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the release build, the
# AddressSanitizer + UndefinedBehaviorSanitizer build and the ThreadSanitizer build, then the
# extra checks in scripts/checks/ (each a script that exits non-zero on failure). Exits non-zero
# on any failure.
set -e
cd "$(dirname "$0")"
source scripts/setup.sh test
for preset in release asan tsan; do
    echo "== $preset =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j 2
done
for check in scripts/checks/*.sh; do
    [ -e "$check" ] || continue
    echo "== $check =="
    bash "$check"
done
