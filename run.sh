#!/usr/bin/env bash
# Installs what is missing, builds the demo and runs it. Arguments go to the demo: any argument
# skips the full-screen question and opens a window.
#
# ./run.sh --web [PORT] builds the web version instead (build/web/site) and serves it on
# 127.0.0.1 (port 8000 unless given) with Python's http.server until Ctrl+C.
set -e
cd "$(dirname "$0")"
if [ "${1:-}" = --web ]; then
    port=${2:-8000}
    source scripts/setup.sh web
    cmake --preset web >/dev/null
    cmake --build --preset web
    echo
    echo "The demo is served at http://127.0.0.1:$port/ (add ?window to skip the question); Ctrl+C stops it."
    exec python3 -m http.server --bind 127.0.0.1 --directory build/web/site "$port"
fi
source scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target skr4mm3lb0d
exec build/release/skr4mm3lb0d "$@"
