#!/usr/bin/env bash
# Installs what is missing, builds the demo and runs it. Arguments go to the demo: any argument
# skips the full-screen question and opens a window.
set -e
cd "$(dirname "$0")"
source scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target skr4mm3lb0d
exec build/release/skr4mm3lb0d "$@"
