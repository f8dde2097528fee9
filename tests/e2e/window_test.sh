#!/usr/bin/env bash
# The demo in a real X window under Xvfb: started with an argument it opens "Skr4mm3lb0d" with a
# 640×480 client area, shows the logo after a few seconds, and Escape ends it with exit code 0.
# Usage: window_test.sh DEMO WORKDIR. Exit 77 (skipped) when Xvfb or xdotool is missing.
set -u
demo=$1
work=$2
for tool in Xvfb xdotool xwininfo xdpyinfo import convert; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
mkdir -p "$work"
rm -f "$work"/*.png

source "$(dirname "$0")/xvfb_session.sh"
startXvfb 1024x768x24 "$work"

SDL_AUDIODRIVER=dummy "$demo" x >"$work/demo.log" 2>&1 &
demoPid=$!
window=$(timeout 20 xdotool search --sync --name '^Skr4mm3lb0d$' | head -n 1)
[ -n "$window" ] || fail "no window titled Skr4mm3lb0d appeared"

size=$(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$size" = "640x480" ] || fail "client area is $size, expected 640x480"

sleep 4
import -window "$window" "$work/logo.png" || fail "screenshot failed"
# The logo sits in the upper part of the frame; the bottom corners stay black.
top=$(convert "$work/logo.png" -crop 640x200+0+0 +repage -format '%[fx:mean]' info:)
corner=$(convert "$work/logo.png" -crop 40x40+0+440 +repage -format '%[fx:maxima]' info:)
awk -v t="$top" 'BEGIN { exit !(t > 0.02) }' || fail "no logo on screen (mean brightness $top)"
awk -v c="$corner" 'BEGIN { exit !(c == 0) }' || fail "the background is not black ($corner)"

xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key --clearmodifiers a  # other keys do nothing
sleep 0.5
kill -0 "$demoPid" 2>/dev/null || fail "a key other than Escape ended the demo"
escapeEndsDemo "$window"
echo "window 640x480, logo on screen (mean $top), Escape ended it with code 0"
