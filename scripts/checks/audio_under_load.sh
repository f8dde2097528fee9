#!/usr/bin/env bash
# No lost audio under load. The demo runs in a window under Xvfb with SDL's "disk" audio driver,
# which hands the device callback a 1024-frame buffer every 23 ms (a little faster than the
# 23.2 ms it lasts, like a sound card that never waits for anyone) and writes every byte it gets
# to a file. The first 30 s of what the demo played must be byte for byte what xmrender makes of
# the embedded song: once on an idle machine, once while a CPU hog keeps every core busy from
# before the start. A block the feeder rendered too late (played stale), twice, or while the
# device was reading it shows up as the first differing byte.
# SDL writes silence while the device is paused, that is while the ring is pre-filled; that
# leading silence is skipped before comparing.
# Skipped with a note while no song is embedded (resources/118-*.xm) or Xvfb is missing. Builds
# the demo and xmrender with the release preset into build/release (or $AUDIO_LOAD_BUILD) and
# keeps the logs in its audio-under-load/ folder. Exits non-zero with a FAIL line on failure.
set -u
cd "$(dirname "$0")/../.."
root=$PWD
build=${AUDIO_LOAD_BUILD:-$root/build/release}
out=$build/audio-under-load
seconds=30
bytesPerSecond=176400  # 44100 frames of 16-bit stereo
compared=$((seconds * bytesPerSecond))

fail() {
    echo "FAIL: audio under load: $*"
    exit 1
}

song=$(ls "$root"/resources/118-*.xm 2>/dev/null | head -n 1)
if [ -z "$song" ]; then
    echo "audio under load: skipped, no song is embedded yet (resources/118-*.xm)"
    exit 0
fi
for tool in Xvfb xdpyinfo cmp timeout; do
    command -v "$tool" >/dev/null || { echo "audio under load: skipped, $tool is not installed"; exit 0; }
done

mkdir -p "$out"
echo "building the demo and xmrender ($build)"
{ cmake --preset release -B "$build" && cmake --build "$build" --target skr4mm3lb0d xmrender; } \
    >"$out/build.log" 2>&1 || { cat "$out/build.log"; fail "the build failed"; }
demo=$build/skr4mm3lb0d

work=$(mktemp -d "${TMPDIR:-/tmp}/skr-audio-load.XXXXXX")
xvfb=""
demoPid=""
hogs=()
stopHogs() {
    for h in "${hogs[@]}"; do kill "$h" 2>/dev/null; done
    for h in "${hogs[@]}"; do wait "$h" 2>/dev/null; done
    hogs=()
}
cleanup() {
    [ -n "$demoPid" ] && kill "$demoPid" 2>/dev/null
    stopHogs
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$out/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start (see $out/xvfb.log)"
export DISPLAY=:$(head -n 1 "$work/display")
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$build/xmrender" --seconds $((seconds + 1)) "$song" "$work/reference.wav" >"$out/xmrender.log" 2>&1 ||
    fail "xmrender could not render $song (see $out/xmrender.log)"
[ "$(head -c 40 "$work/reference.wav" | tail -c 4)" = data ] || fail "xmrender's WAV data does not start at byte 44"
tail -c +45 "$work/reference.wav" | head -c "$compared" >"$work/reference.raw"
[ "$(stat -c %s "$work/reference.raw")" -eq "$compared" ] || fail "xmrender made less than $seconds s of audio"

# Index (from 1) of the first byte that is not 0; empty when all `length` bytes are 0.
firstSound() { cmp -n "$2" "$1" /dev/zero 2>/dev/null | sed -n 's/.*differ: byte \([0-9]*\).*/\1/p'; }
seconds() { awk -v b="$1" -v r="$bytesPerSecond" 'BEGIN { printf "%.2f", b / r }'; }
referenceStart=$(firstSound "$work/reference.raw" "$compared")
[ -n "$referenceStart" ] || fail "the song is silent for its first $seconds s: nothing to compare"

# Plays the demo until the disk device has written 30 s of audio after up to 2 s of leading
# silence, ends it as closing the window would (SDL turns SIGTERM into its quit event), and
# compares. $1 names the run (and its files), $2 is "hog" to keep every core busy meanwhile.
run() {
    local name=$1 capture=$work/$1.raw
    if [ "$2" = hog ]; then
        # Bounded: each spinner stops by itself after two minutes if nothing else stops it.
        for _ in $(seq "$(nproc)"); do
            timeout 120 sh -c 'while :; do :; done' &
            hogs+=($!)
        done
    fi
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$capture" SDL_DISKAUDIODELAY=23 "$demo" x >"$out/$name.log" 2>&1 &
    demoPid=$!
    local wanted=$((compared + 2 * bytesPerSecond)) size=0
    for _ in $(seq 900); do  # 90 s at most
        size=$(stat -c %s "$capture" 2>/dev/null || echo 0)
        [ "$size" -ge "$wanted" ] && break
        kill -0 "$demoPid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$demoPid" 2>/dev/null || fail "$name: the demo ended early (see $out/$name.log)"
    kill -TERM "$demoPid"
    wait "$demoPid"
    local code=$?
    demoPid=""
    stopHogs
    [ "$code" -eq 0 ] || fail "$name: the demo ended with code $code (see $out/$name.log)"
    grep -q "no music" "$out/$name.log" && fail "$name: the demo played no music (see $out/$name.log)"
    [ "$size" -ge "$wanted" ] || fail "$name: only $(seconds "$size") s of audio were written in 90 s"

    local start skip
    start=$(firstSound "$capture" "$size")
    [ -n "$start" ] || fail "$name: the demo played only silence"
    skip=$((start - referenceStart))
    [ "$skip" -ge 0 ] && [ $((skip % 4)) -eq 0 ] ||
        fail "$name: the sound starts at byte $start, not on a frame at or after xmrender's $referenceStart"
    [ $((size - skip)) -ge "$compared" ] ||
        fail "$name: $(seconds "$skip") s of silence before the song: less than $seconds s left to compare"
    # cmp's exit status decides (0 the same, 1 different, 2 trouble); its message only says where.
    local verdict=0 message difference
    message=$(tail -c +$((skip + 1)) "$capture" | cmp -n "$compared" - "$work/reference.raw" 2>&1) || verdict=$?
    if [ "$verdict" -ne 0 ]; then
        cp "$capture" "$work/reference.raw" "$out/"
        difference=$(echo "$message" | sed -n 's/.*differ: byte \([0-9]*\).*/\1/p')
        [ -n "$difference" ] || fail "$name: cmp could not compare the audio with xmrender's: $message"
        fail "$name: the audio differs from xmrender at byte $difference ($(seconds $((difference - 1))) s in):" \
             "a block was lost, repeated or torn (both kept in $out)"
    fi
    local how="on an idle machine"
    [ "$2" = hog ] && how="with $(nproc) cores kept busy"
    [ "$skip" -gt 0 ] && how="$how, after $(seconds "$skip") s of silence while the ring filled"
    echo "audio under load: $seconds s identical to xmrender $how"
}

run idle none
run loaded hog
