#!/usr/bin/env bash
# The Windows executable under Wine, in a fresh prefix in a temporary folder with its own Xvfb.
# Three runs:
#  - with an argument and without an audio driver (waveOutOpen fails, so the demo says so in one
#    line on stderr and plays silently on the tick count): it opens "Skr4mm3lb0d" with a 640×480
#    client area (as Windows itself reports it), shows the logo over black after a few seconds
#    with no magenta (the colour key), shows the background once the song has reached position 4
#    (15.35 s), ignores other keys, and Escape ends it with exit code 0;
#  - without arguments: it asks in a box titled "Fullscreen", opens the window after No, and
#    Escape ends it with exit code 0;
#  - without arguments, Yes: the screen (1280×1024, as Xvfb's only mode) has no 640×480 mode, so
#    a borderless popup covers it with the frame doubled at (0, 32), sharp 2×2 blocks, black
#    bands above and below, the cursor hidden; Escape ends it with exit code 0;
#  - with an argument and an ALSA default device that writes to a file: closing the window ends
#    it with exit code 0 again, and everything it played, from the first byte to the last, is
#    what xmrender makes of the embedded song: the pre-filled ring (the first 2 s) and every block
#    the feeder rendered behind the device's position, byte for byte and in order. The only thing
#    let through in between is silence inserted by Wine, which writes 10 ms of zeros whenever its
#    own buffer runs dry and then goes on where it was (tests/e2e/compare_capture.cpp). The
#    device is not paced (Wine plays it about four times faster than real time), which leaves the
#    feeder less slack than a sound card would and would hurry the scenes along: hence the silent
#    window run, whose scenes keep the song's real time. The comparison is skipped with a note while no song is embedded.
# Before them, the player library as Windows programs use it: a small C program (examples/xm2wav.c)
# linked once against the DLL through its import library and once against the static library,
# each run under Wine at 48000 Hz with cubic interpolation from 20.5 s into a song; both must
# write the bytes the native xmrender writes for the same options.
# Builds the mingw preset (build/mingw) and xmrender (build/win-native) itself; keeps the
# screenshot and logs in build/mingw/windows-check/. Exits non-zero with a FAIL line on failure.
set -u
cd "$(dirname "$0")/../.."
root=$PWD
out=$root/build/mingw/windows-check

fail() {
    echo "FAIL: windows: $*"
    exit 1
}
source "$root/tests/e2e/screen_checks.sh"

for tool in cmake g++ x86_64-w64-mingw32-g++ wine wineboot wineserver Xvfb xdotool xwininfo import convert compare cmp; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh test installs it)"
done

mkdir -p "$root/build"
log=$root/build/mingw-build.log
echo "building the Windows executable (preset mingw)"
{ cmake --preset mingw && cmake --build --preset mingw; } >"$log" 2>&1 || { cat "$log"; fail "the mingw build failed"; }
exe=$root/build/mingw/skr4mm3lb0d.exe
[ -f "$exe" ] || fail "the mingw build made no $exe"
rm -rf "$out"
mkdir -p "$out"
mv "$log" "$out/build.log"
# The song the executable embeds, as the resource script names it. A song in resources/ that the
# script does not name that way means the script's lines changed shape: the audio comparison
# must not quietly go away with it.
song=$(sed -n 's/^118 XM "\(.*\)"$/\1/p' "$root/build/mingw/generated/resources.rc")
if [ -z "$song" ] && ls "$root"/resources/118-*.xm >/dev/null 2>&1; then
    fail "resources/118-*.xm is not named as '118 XM \"PATH\"' in build/mingw/generated/resources.rc"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/skr-windows.XXXXXX")
xvfb=""
demoPid=""
export WINEPREFIX=$work/prefix
export HOME=$work/home
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or HTML engine installers at the first start
unset PULSE_SERVER
cleanup() {
    [ -n "$demoPid" ] && kill "$demoPid" 2>/dev/null
    wineserver -k 2>/dev/null  # this prefix's server and whatever still runs in it
    wineserver -w 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$HOME"

# An ALSA default device that writes every byte played to a file; "null" underneath takes them
# without a sound card and without pacing, so Wine plays about four times faster than real time.
capture=$work/capture.raw
cat >"$HOME/.asoundrc" <<EOF
pcm.!default {
    type file
    slave.pcm "null"
    file "$capture"
    format "raw"
}
EOF

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$out/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start (see $out/xvfb.log)"
export DISPLAY=:$(head -n 1 "$work/display")

echo "making a fresh Wine prefix"
timeout 180 wineboot -i >"$out/wineboot.log" 2>&1 || fail "wineboot failed (see $out/wineboot.log)"
x86_64-w64-mingw32-g++ -O2 -static -o "$work/probe.exe" "$root/tests/e2e/win32_window_probe.cpp" ||
    fail "cannot build the window probe"

echo "building xmrender (build/win-native)"
{ cmake --preset release -B "$root/build/win-native" && cmake --build "$root/build/win-native" --target xmrender; } \
    >"$out/xmrender-build.log" 2>&1 || { cat "$out/xmrender-build.log"; fail "the xmrender build failed"; }

# The library: xm2wav.exe on the DLL and on the static library.
for f in libxmplayer.dll libxmplayer.dll.a libxmplayer.a; do
    [ -f "$root/build/mingw/$f" ] || fail "the mingw build made no $f"
done
mingwCc=$(command -v x86_64-w64-mingw32-gcc-win32 || command -v x86_64-w64-mingw32-gcc)
"$mingwCc" -std=c99 -Wall -Wextra -Werror -I"$root/player/include" -o "$work/xm2wav-dll.exe" "$root/examples/xm2wav.c" \
    "$root/build/mingw/libxmplayer.dll.a" 2>"$out/xm2wav-build.log" &&
    "$mingwCc" -std=c99 -Wall -Wextra -Werror -DXMPLAYER_STATIC -static -I"$root/player/include" \
        -o "$work/xm2wav-static.exe" "$root/examples/xm2wav.c" "$root/build/mingw/libxmplayer.a" -lstdc++ \
        2>>"$out/xm2wav-build.log" || { cat "$out/xm2wav-build.log"; fail "cannot build xm2wav.exe against the library"; }
x86_64-w64-mingw32-objdump -p "$work/xm2wav-dll.exe" | grep -q "DLL Name: libxmplayer.dll" ||
    fail "xm2wav-dll.exe does not import libxmplayer.dll"
x86_64-w64-mingw32-objdump -p "$work/xm2wav-static.exe" | grep -q "DLL Name: libxmplayer.dll" &&
    fail "xm2wav-static.exe imports libxmplayer.dll"
cp "$root/build/mingw/libxmplayer.dll" "$work/"
libraryOptions=(--rate 48000 --interpolation cubic --start 20.5 --profile ft2)
"$root/build/win-native/xmrender" "${libraryOptions[@]}" "$root/resources/118-song.xm" "$work/library-native.wav" \
    >/dev/null || fail "xmrender could not render the song"
for program in xm2wav-dll xm2wav-static; do
    (cd "$work" && wine "$program.exe" "${libraryOptions[@]}" "$(winepath -w "$root/resources/118-song.xm")" "$program.wav") \
        >"$out/$program.log" 2>&1 || fail "$program.exe failed under Wine (see $out/$program.log)"
    cmp -s "$work/$program.wav" "$work/library-native.wav" ||
        fail "$program.exe wrote other bytes than the native xmrender (${libraryOptions[*]})"
done
echo "library: xm2wav.exe on libxmplayer.dll and on libxmplayer.a wrote the native xmrender's bytes" \
    "($(stat -c %s "$work/library-native.wav") bytes, ${libraryOptions[*]})"

# Wine's audio driver: "" (none: waveOutOpen fails and the demo plays silently) or "alsa" (the
# capture above).
useAudioDriver() {
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "$1" /f >>"$out/wineboot.log" 2>&1 ||
        fail "cannot set Wine's audio driver to '$1' (see $out/wineboot.log)"
}

# Starts the demo (its output in demo-$1.log) with the arguments after $1: sets demoPid.
launchDemo() {
    local name=$1
    shift
    wine "$exe" "$@" >"$out/demo-$name.log" 2>&1 &
    demoPid=$!
}

# Waits for the demo's window to be shown (it exists, unmapped, while the start-up runs): sets window.
waitForWindow() {
    # xdotool dies of an X error when a window it looks at goes away meanwhile (the question box
    # closing as the demo's window appears): it is asked again until a minute has passed.
    local deadline=$((SECONDS + 60))
    window=""
    while [ -z "$window" ] && [ "$SECONDS" -lt "$deadline" ]; do
        window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Skr4mm3lb0d$' 2>/dev/null | head -n 1)
        [ -n "$window" ] || sleep 0.2
    done
    [ -n "$window" ] || fail "no window titled Skr4mm3lb0d appeared (see $out/demo-$1.log)"
}

# Starts the demo with an argument (the window, no question) and waits for its window.
startDemo() {
    launchDemo "$1" x
    waitForWindow "$1"
}

# The demo must end with exit code 0 after $1 ("Escape" or "closing the window").
expectEnd() {
    # Wine waits up to 2 s for a window manager to withdraw the window; there is none.
    for _ in $(seq 150); do kill -0 "$demoPid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$demoPid" 2>/dev/null && fail "$1 did not end the demo"
    wait "$demoPid"
    local code=$?
    demoPid=""
    [ "$code" -eq 0 ] || fail "exit code $code after $1"
}

# The window, without sound: the song still moves on, in real time.
useAudioDriver ""
startDemo window
for _ in $(seq 200); do grep -q 'no audio device' "$out/demo-window.log" && break; sleep 0.05; done
songStart=$(date +%s.%N)  # the line comes as the player starts
grep -q 'skr4mm3lb0d: no audio device (.*); the demo plays silently' "$out/demo-window.log" ||
    fail "no line about the missing audio device (see $out/demo-window.log)"
client=$(wine "$work/probe.exe" 2>/dev/null | tr -d '\r')
[ "$client" = 640x480 ] || fail "client area is '$client' as Windows reports it, expected 640x480"
shown=$(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
sleep 4
import -window "$window" "$out/logo.png" || fail "screenshot failed"
# The logo sits in the upper part of the frame; the bottom corners stay black.
top=$(convert "$out/logo.png" -crop 640x200+0+0 +repage -format '%[fx:mean]' info:)
corner=$(convert "$out/logo.png" -crop 40x40+0+440 +repage -format '%[fx:maxima]' info:)
awk -v t="$top" 'BEGIN { exit !(t > 0.02) }' || fail "no logo on screen (mean brightness $top, see $out/logo.png)"
awk -v c="$corner" 'BEGIN { exit !(c == 0) }' || fail "the background is not black ($corner, see $out/logo.png)"
# The colour key: the pictures' magenta backgrounds are transparent, never on screen.
magenta=$(convert "$out/logo.png" -fx 'r > 0.9 && g < 0.1 && b > 0.9' -format '%[fx:mean*w*h]' info:)
[ "$magenta" = 0 ] || fail "$magenta magenta pixels on screen: the colour key failed (see $out/logo.png)"
# Position 4 from 15.35 s of song time, and its background's fade-in of about a second.
sleep "$(awk -v s="$songStart" -v n="$(date +%s.%N)" 'BEGIN { d = s + 17.5 - n; print (d > 0 ? d : 0) }')"
import -window "$window" "$out/position4.png" || fail "screenshot failed"
corner=$(convert "$out/position4.png" -crop 40x40+0+440 +repage -format '%[fx:maxima]' info:)
awk -v c="$corner" 'BEGIN { exit !(c > 0) }' ||
    fail "no background 17.5 s into the silent song, which reached position 4 at 15.35 s (see $out/position4.png)"
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key --clearmodifiers a  # other keys do nothing
sleep 0.5
kill -0 "$demoPid" 2>/dev/null || fail "a key other than Escape ended the demo"
xdotool key --clearmodifiers Escape
expectEnd Escape
echo "window: client area 640x480 (X window $shown), logo on screen (mean $top), the background after" \
    "position 4 without a sound device, Escape ended it with code 0"

# Starts the demo without arguments (its output in demo-$1.log), answers the question with key $2
# and waits for the window.
answerQuestion() {
    launchDemo "$1"
    local box
    box=$(timeout 60 xdotool search --sync --name '^Fullscreen$' | head -n 1)
    [ -n "$box" ] || fail "without arguments no question box titled Fullscreen appeared (see $out/demo-$1.log)"
    xdotool search --name '^Skr4mm3lb0d$' >/dev/null && fail "the window opened before the question was answered"
    xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
    xdotool key --clearmodifiers "$2"
    waitForWindow "$1"
}

# Without arguments it asks first; No opens the window.
answerQuestion question n
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key --clearmodifiers Escape
expectEnd "Escape"
echo "question: without arguments it asked, No opened the window, Escape ended it with code 0"

# Yes, on a screen without a 640×480 mode: the popup covers the screen, the frame doubled.
answerQuestion fullscreen Return  # Yes is the default button
geometry=$(windowGeometry "$window")
[ "$geometry" = "1280x1024+0+0" ] || fail "the full-screen window is $geometry, expected 1280x1024+0+0"
sleep 4
import -window root "$out/fullscreen.png" || fail "screenshot failed"
checkDoubledPicture "$out/fullscreen.png" "$work"
checkCursorHidden "$work" "$root/tests/e2e"
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key --clearmodifiers Escape
expectEnd "Escape"
echo "fullscreen: Yes covered the 1280x1024 screen, picture doubled at (0, 32) with black bands" \
    "(logo mean $logoMean), $cursorNote, Escape ended it with code 0"

# The sound, through the capturing ALSA device: a few seconds of the demo, then the window is
# closed.
useAudioDriver alsa
startDemo audio
sleep 3
wine "$work/probe.exe" close >/dev/null 2>&1 || fail "cannot close the window"
expectEnd "closing the window"
echo "closing the window ended it with code 0"

if [ -z "$song" ]; then
    echo "audio: skipped, no song is embedded yet (resources/118-*.xm)"
    exit 0
fi
[ -s "$capture" ] || fail "nothing was played through the ALSA default device (see $out/demo-audio.log)"
bytesPerSecond=176400  # 44100 frames of 16-bit stereo
ring=353600            # the ring of 100 blocks of 884 frames, rendered before playing starts
g++ -std=c++20 -O2 -o "$work/compare_capture" "$root/tests/e2e/compare_capture.cpp" ||
    fail "cannot build the capture comparison"
played=$(stat -c %s "$capture")
[ "$played" -ge "$ring" ] || fail "only $played bytes were played, less than the $ring of the pre-filled ring"
"$root/build/win-native/xmrender" --seconds $((played / bytesPerSecond + 2)) "$song" "$work/reference.wav" \
    >/dev/null || fail "xmrender could not render $song"
[ "$(head -c 40 "$work/reference.wav" | tail -c 4)" = data ] || fail "xmrender's WAV data does not start at byte 44"
tail -c +45 "$work/reference.wav" >"$work/reference.raw"
[ "$(stat -c %s "$work/reference.raw")" -ge "$played" ] || fail "xmrender made less audio than was played"

result=$("$work/compare_capture" "$capture" "$work/reference.raw" "$ring")
code=$?
echo "audio: $result"
[ "$code" -eq 0 ] || fail "the audio played is not what xmrender makes of the song (see above): a block was" \
    "played before the feeder had rendered it, the device position it follows is wrong, or the player differs"
