# Sourced by the end-to-end tests that check a covered screen; the caller defines fail().
#
# checkDoubledPicture SHOT WORKDIR: SHOT is a 1280×1024 screenshot of a screen covered by the demo
# with the frame doubled (1280×960 at (0, 32)): the 32-row bands above and below are black, the
# logo shows in the picture's upper part over a black background, and every frame pixel is a
# sharp 2×2 block. Sets `logoMean` to the upper part's mean brightness.
checkDoubledPicture() {
    local shot=$1 work=$2 band lit corner blurred
    for band in 1280x32+0+0 1280x32+0+992; do
        lit=$(convert "$shot" -crop "$band" +repage -format '%[fx:maxima]' info:)
        [ "$lit" = 0 ] || fail "the band $band is not black ($lit, see $shot)"
    done
    logoMean=$(convert "$shot" -crop 1280x400+0+32 +repage -format '%[fx:mean]' info:)
    corner=$(convert "$shot" -crop 80x80+0+912 +repage -format '%[fx:maxima]' info:)
    awk -v t="$logoMean" 'BEGIN { exit !(t > 0.02) }' || fail "no logo in the picture (mean brightness $logoMean, see $shot)"
    awk -v c="$corner" 'BEGIN { exit !(c == 0) }' || fail "the picture's background is not black ($corner, see $shot)"
    # Keeping one pixel of every 2×2 block and doubling it again changes nothing.
    convert "$shot" -crop 1280x960+0+32 +repage "$work/picture.png"
    convert "$work/picture.png" -sample 50% -sample 200% "$work/resampled.png"
    blurred=$(compare -metric AE "$work/picture.png" "$work/resampled.png" null: 2>&1)
    [ "$blurred" = 0 ] || fail "$blurred pixels of the picture are not part of a sharp 2x2 block (see $shot)"
}

# windowGeometry ID: the X window's size and place on the screen, as WIDTHxHEIGHT+X+Y.
windowGeometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
        /Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h "+" x "+" y}'
}

# checkCursorHidden WORKDIR SOURCEDIR: with the pointer moved to the screen's middle, the X cursor
# now shown must have no visible pixel. Builds SOURCEDIR/cursor_probe.cpp first; where it cannot
# be built (libx11-dev, libxfixes-dev missing) the check is left out. Sets `cursorNote`.
checkCursorHidden() {
    if ! g++ -O2 -o "$1/cursor_probe" "$2/cursor_probe.cpp" -lX11 -lXfixes 2>"$1/cursor_probe.log"; then
        cursorNote="cursor not checked (cannot build the probe: libx11-dev, libxfixes-dev)"
        return
    fi
    xdotool mousemove 640 512
    sleep 0.3
    local visible
    visible=$("$1/cursor_probe") || fail "cannot read the cursor image"
    [ "$visible" = 0 ] || fail "the cursor is shown over the full-screen window ($visible pixels)"
    cursorNote="cursor hidden"
}
