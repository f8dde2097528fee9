#!/usr/bin/env bash
# Full screen on a display without a 640×480 mode, under Xvfb: a 1280×1024 screen whose only mode
# is its own. Started without arguments, the demo asks "Run in fullscreen?"; after Yes a borderless
# window covers the whole screen and shows the frame doubled (factor 2: 1280×960, each frame
# pixel a sharp 2×2 block) at (0, 32), black bands of 32 rows above and below, the cursor hidden
# over it; Escape ends it with exit code 0.
# Usage: fullscreen_test.sh DEMO WORKDIR. Exit 77 (skipped) when a tool is missing.
set -u
demo=$1
work=$2
for tool in Xvfb xdotool xwininfo xdpyinfo xlsfonts import convert compare g++; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
mkdir -p "$work"
rm -f "$work"/*.png
here=$(cd "$(dirname "$0")" && pwd)

source "$here/xvfb_session.sh"
source "$here/screen_checks.sh"
startXvfb 1280x1024x24 "$work"

# SDL draws its question box with the core X fonts; Xvfb has them only where xfonts-base is
# installed. Without them the box cannot be shown, and the demo says so and opens its window.
if ! xlsfonts -fn '-*-*-medium-r-normal--*-120-*-*-*-*-iso8859-1' >/dev/null 2>&1; then
    echo "skipped: no core X font for SDL's question box (apt-get install xfonts-base)"
    exit 77
fi

# A window's id by its exact title (SDL's question box names itself in UTF-8 alone, which
# xdotool's search does not read).
windowNamed() { xwininfo -root -tree | awk -v name="\"$1\":" '$2 == name { print $1; exit }'; }
waitForWindow() {
    local id=""
    for _ in $(seq 200); do
        id=$(windowNamed "$1")
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "$id"
}

SDL_AUDIODRIVER=dummy "$demo" >"$work/demo.log" 2>&1 &
demoPid=$!
box=$(waitForWindow Fullscreen)
[ -n "$box" ] || fail "no question box titled Fullscreen appeared (see $work/demo.log)"
xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
xdotool key --clearmodifiers Return  # Yes is the default button
window=$(waitForWindow Skr4mm3lb0d)
[ -n "$window" ] || fail "no window titled Skr4mm3lb0d appeared after Yes (see $work/demo.log)"
geometry=$(windowGeometry "$window")
[ "$geometry" = "1280x1024+0+0" ] || fail "the window is $geometry, expected to cover the screen: 1280x1024+0+0"

sleep 4
import -window root "$work/fullscreen.png" || fail "screenshot failed"
checkDoubledPicture "$work/fullscreen.png" "$work"
checkCursorHidden "$work" "$here"

escapeEndsDemo "$window"
echo "full screen on 1280x1024 without a 640x480 mode: covered, picture 1280x960 at (0, 32) in sharp" \
    "2x2 blocks, black bands, logo on screen (mean $logoMean), $cursorNote, Escape ended it with code 0"
