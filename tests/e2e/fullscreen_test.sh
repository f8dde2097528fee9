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
geometry=$(xwininfo -id "$window" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h "+" x "+" y}')
[ "$geometry" = "1280x1024+0+0" ] || fail "the window is $geometry, expected to cover the screen: 1280x1024+0+0"

sleep 4
import -window root "$work/fullscreen.png" || fail "screenshot failed"
shot=$work/fullscreen.png
# The bands: 32 rows above and below the picture, black.
for band in 1280x32+0+0 1280x32+0+992; do
    lit=$(convert "$shot" -crop "$band" +repage -format '%[fx:maxima]' info:)
    [ "$lit" = 0 ] || fail "the band $band is not black ($lit, see $shot)"
done
# The logo in the upper part of the picture; the picture's bottom corners black.
top=$(convert "$shot" -crop 1280x400+0+32 +repage -format '%[fx:mean]' info:)
corner=$(convert "$shot" -crop 80x80+0+912 +repage -format '%[fx:maxima]' info:)
awk -v t="$top" 'BEGIN { exit !(t > 0.02) }' || fail "no logo in the picture (mean brightness $top, see $shot)"
awk -v c="$corner" 'BEGIN { exit !(c == 0) }' || fail "the picture's background is not black ($corner)"
# Sharp pixels: keeping one pixel of every 2×2 block and doubling it again changes nothing.
convert "$shot" -crop 1280x960+0+32 +repage "$work/picture.png"
convert "$work/picture.png" -sample 50% -sample 200% "$work/resampled.png"
blurred=$(compare -metric AE "$work/picture.png" "$work/resampled.png" null: 2>&1)
[ "$blurred" = 0 ] || fail "$blurred pixels of the picture are not part of a sharp 2x2 block (see $shot)"

# The cursor over the window shows no pixel.
if g++ -O2 -o "$work/cursor_probe" "$here/cursor_probe.cpp" -lX11 -lXfixes 2>"$work/cursor_probe.log"; then
    xdotool mousemove 640 512
    sleep 0.3
    cursor=$("$work/cursor_probe") || fail "cannot read the cursor image"
    [ "$cursor" = 0 ] || fail "the cursor is shown over the full-screen window ($cursor pixels)"
    cursorNote="cursor hidden"
else
    cursorNote="cursor not checked (cannot build the probe: libx11-dev, libxfixes-dev)"
fi

escapeEndsDemo "$window"
echo "full screen on 1280x1024 without a 640x480 mode: covered, picture 1280x960 at (0, 32) in sharp" \
    "2x2 blocks, black bands, logo on screen (mean $top), $cursorNote, Escape ended it with code 0"
