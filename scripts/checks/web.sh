#!/usr/bin/env bash
# The web build in a real browser: builds the site (the web preset, build/web/site) and the
# native demo-capture and xmrender (build/release), then runs tests/web/ with Node's test runner
# against Debian's Chromium, headless, over Python's http.server on 127.0.0.1. The page loads
# without console errors, the question, ?window, Enter and Space start it, the song keeps real
# time (silently too, where Web Audio is missing or refuses), Escape, the stop control and leaving
# full screen end it and "Play again" starts it anew; on phones held upright and sideways the
# picture fits the screen and taps drive it; a suspended audio context keeps the song and the
# pictures going and gives the sound back at a tap; the output latency is allowed for; and a
# capture on demo-capture's virtual clock (to position 16, about 110 s of demo) shows and plays
# byte for byte what the native tools make.
# Exits non-zero on failure.
set -eu
cd "$(dirname "$0")/../.."
for tool in emcc node chromium python3; do
    command -v "$tool" >/dev/null || { echo "FAIL: web: $tool is missing (scripts/setup.sh test installs it)"; exit 1; }
done
cmake --preset web >/dev/null
cmake --build --preset web
cmake --preset release >/dev/null
cmake --build --preset release --target demo-capture xmrender
SKR_SITE=build/web/site SKR_TOOLS=build/release node --test tests/web/
