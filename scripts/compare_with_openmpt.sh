#!/usr/bin/env bash
# Compares our player's profiles with libopenmpt on a folder of XM modules: per module, the coarse
# similarities of bench/peer_similarity (RMS envelope, semitone spectrogram, left/right balance)
# of `xmrender --profile default` and `--profile ft2` against `openmpt123 --render --filter 2` (its
# linear interpolation) at 44100 Hz, as a Markdown table with the ft2 profile's differences.
#
# The noise column is how far the default profile's measures move when libopenmpt's interpolation
# changes from linear to 4-tap (--filter 4): a difference between the profiles smaller than that is
# no difference in behaviour.
#
# usage: scripts/compare_with_openmpt.sh [FOLDER]    (default ../shared/xm-corpus)
# Needs openmpt123 (apt-get install openmpt123) and a release build (xmrender, peer_similarity).
set -euo pipefail
if [ "${1:-}" = --help ] || [ "${1:-}" = -h ]; then
    sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
fi
root=$(cd "$(dirname "$0")/.." && pwd)
folder=${1:-$root/../shared/xm-corpus}
xmrender=$root/build/release/xmrender
measure=$root/build/release/bench/peer_similarity
[ -d "$folder" ] || { echo "compare_with_openmpt.sh: no folder $folder" >&2; exit 1; }
command -v openmpt123 >/dev/null || { echo "compare_with_openmpt.sh: openmpt123 is not installed (apt-get install openmpt123)" >&2; exit 1; }
[ -x "$xmrender" ] && [ -x "$measure" ] || { echo "compare_with_openmpt.sh: build the release preset first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "envelope E spectrum S balance B frames N" -> "E S B"
measures() { "$measure" "$1" "$2" | awk '{print $2, $4, $6}'; }

echo "| module | default: envelope spectrum balance | ft2: envelope spectrum balance | ft2 − default | noise |"
echo "|---|---|---|---|---|"
shopt -s nullglob
for module in "$folder"/*.xm; do
    name=$(basename "$module" .xm)
    cp "$module" "$work/$name.xm"
    # openmpt123 writes NAME.xm.wav beside its input.
    openmpt123 --quiet --render --force --samplerate 44100 --filter 2 --no-float --dither 0 "$work/$name.xm" >/dev/null
    mv "$work/$name.xm.wav" "$work/$name.f2.wav"
    openmpt123 --quiet --render --force --samplerate 44100 --filter 4 --no-float --dither 0 "$work/$name.xm" >/dev/null
    mv "$work/$name.xm.wav" "$work/$name.f4.wav"
    "$xmrender" --profile default "$module" "$work/$name.default.wav" >/dev/null 2>&1
    "$xmrender" --profile ft2 "$module" "$work/$name.ft2.wav" >/dev/null 2>&1
    read -r de ds db <<<"$(measures "$work/$name.f2.wav" "$work/$name.default.wav")"
    read -r fe fs fb <<<"$(measures "$work/$name.f2.wav" "$work/$name.ft2.wav")"
    read -r ne ns nb <<<"$(measures "$work/$name.f4.wav" "$work/$name.default.wav")"
    awk -v n="$name" -v de="$de" -v ds="$ds" -v db="$db" -v fe="$fe" -v fs="$fs" -v fb="$fb" \
        -v ne="$ne" -v ns="$ns" -v nb="$nb" 'function abs(x) { return x < 0 ? -x : x }
        BEGIN {
            noise = abs(ne - de); if (abs(ns - ds) > noise) noise = abs(ns - ds); if (abs(nb - db) > noise) noise = abs(nb - db)
            printf "| %s | %.4f %.4f %.4f | %.4f %.4f %.4f | %+.4f %+.4f %+.4f | %.4f |\n", n, de, ds, db, fe, fs, fb, fe - de, fs - ds, fb - db, noise
        }'
    rm -f "$work/$name".*
done
