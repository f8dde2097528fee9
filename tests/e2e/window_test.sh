#!/usr/bin/env bash
# The demo in a real X window under Xvfb, twice:
#  - with SDL's dummy audio driver: started with an argument it opens "Skr4mm3lb0d" with a 640×480
#    client area, shows the logo after a few seconds, and Escape ends it with exit code 0;
#  - with an audio driver that cannot open: it says so in one line on stderr and plays silently,
#    and the scenes still follow the song on the tick count: the background is black before the
#    song reaches position 4 (15.35 s), the still texture is on from then on, and from position 8
#    (46.06 s) the texture turns and scrolls (xmrender --positions gives these times).
# Usage: window_test.sh DEMO WORKDIR. Exit 77 (skipped) when Xvfb or xdotool is missing.
set -u
demo=$1
work=$2
for tool in Xvfb xdotool xwininfo import convert; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
mkdir -p "$work"
rm -f "$work"/*.png

display=""
for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display"; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
demoPid=""
cleanup() {
    [ -n "$demoPid" ] && kill "$demoPid" 2>/dev/null
    kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

fail() { echo "FAIL: $*"; exit 1; }

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
xdotool key --clearmodifiers Escape
for _ in $(seq 100); do kill -0 "$demoPid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$demoPid" 2>/dev/null && fail "Escape did not end the demo"
wait "$demoPid"
code=$?
demoPid=""
[ "$code" -eq 0 ] || fail "exit code $code after Escape"
echo "window 640x480, logo on screen (mean $top), Escape ended it with code 0"

# Whether the background is on: the bottom-left corner is not black.
backgroundOn() {
    awk -v c="$(convert "$1" -crop 40x40+0+440 +repage -format '%[fx:maxima]' info:)" 'BEGIN { exit !(c > 0) }'
}
# Whether the texture sits still, centred and unturned: then the tile border of the bump-mapped
# texture (a step in its lighting) runs straight down between work columns 159 and 160 at every
# zoom. Looks below the logo's reflection, at work rows 150–239, and counts the rows whose
# brightness step between those columns is at least 1000/65535 and twice the largest step
# between the neighbouring columns 157…161: still, it is so in 39 to 78 of the 90 rows while the
# texture is magnified well (about 1 s of every 3.6 s; shrunk, every column steps); turned or
# scrolled, a border crossed those columns in at most 33 rows in the screenshots measured.
stillTexture() {
    convert "$1" -sample 50% -crop 6x90+157+150 +repage -colorspace gray -morphology Convolve '2x1:-1,1' \
        -evaluate abs 0 -depth 16 txt:- |
        awk -F'[(,:]' 'NR > 1 { v[$2 + 0, $1 + 0] = $4 }
            END {
                rows = 0
                for (y = 0; y < 90; y++) {
                    m = v[y, 1]; if (v[y, 2] > m) m = v[y, 2]; if (v[y, 4] > m) m = v[y, 4]
                    if (v[y, 3] > 1000 && v[y, 3] > 2 * m) rows++
                }
                exit !(rows >= 45)
            }'
}

SDL_AUDIODRIVER=no-such-driver "$demo" x >"$work/silent.log" 2>&1 &
demoPid=$!
# The line comes as the player starts: song time 0.
for _ in $(seq 600); do grep -q 'no audio device' "$work/silent.log" && break; sleep 0.05; done
start=$(date +%s.%N)
grep -q '^skr4mm3lb0d: no audio device (.*); the demo plays silently$' "$work/silent.log" ||
    fail "no line about the missing audio device: $(cat "$work/silent.log")"
window=$(timeout 20 xdotool search --sync --name '^Skr4mm3lb0d$' | head -n 1)
[ -n "$window" ] || fail "without audio no window titled Skr4mm3lb0d appeared"

# Sleeps until `$1` seconds of song time, then takes a screenshot into $work/$2.png.
shotAt() {
    local wait
    wait=$(awk -v s="$start" -v t="$1" -v n="$(date +%s.%N)" 'BEGIN { d = s + t - n; print (d > 0 ? d : 0) }')
    sleep "$wait"
    import -window "$window" "$work/$2.png" || fail "screenshot $2 failed"
}

shotAt 12 silent-12s
backgroundOn "$work/silent-12s.png" && fail "the background is on at 12 s, before the song reached position 4"
# 21 screenshots, one every 0.25 s from $1 seconds of song time on, each with the background on
# (the song is at position $2 by then): sets stillShots to how many show the still texture.
shootPosition() {
    stillShots=0
    local n t
    for n in $(seq 0 20); do
        t=$(awk -v n="$n" -v b="$1" 'BEGIN { print b + n / 4 }')
        shotAt "$t" "silent-$t"
        backgroundOn "$work/silent-$t.png" || fail "no background at $t s, after the song reached position $2"
        stillTexture "$work/silent-$t.png" && stillShots=$((stillShots + 1))
    done
}

# Position 4 lasts until 23.03 s; its fade-in takes about a second.
shootPosition 17.5 4
still=$stillShots
[ "$still" -ge 2 ] || fail "the texture of position 4 does not sit still (centred in $still of 21 screenshots)"
# Position 8 lasts until 53.74 s.
shootPosition 47.5 8
centred=$stillShots
[ "$centred" -le 1 ] || fail "the texture does not move after position 8 (centred in $centred of 21 screenshots)"
[ "$(grep -c 'no audio device' "$work/silent.log")" -eq 1 ] || fail "the line about the audio device came more than once"
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key --clearmodifiers Escape
for _ in $(seq 100); do kill -0 "$demoPid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$demoPid" 2>/dev/null && fail "Escape did not end the silent demo"
wait "$demoPid"
code=$?
demoPid=""
[ "$code" -eq 0 ] || fail "exit code $code after Escape in the silent demo"
echo "without audio: one line on stderr; black at 12 s, the still texture from position 4" \
    "(centred in $still of 21 screenshots), moving from position 8 (centred in $centred of 21)"
