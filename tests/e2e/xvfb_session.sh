# Sourced by the end-to-end tests that run the demo under Xvfb. startXvfb SCREEN WORKDIR starts
# Xvfb on a free display with one screen of SCREEN (WIDTHxHEIGHTxDEPTH), logging to
# WORKDIR/xvfb.log, and exports DISPLAY; on exit the demo (demoPid, when set) and Xvfb are ended.
demoPid=""
xvfbPid=""
endXvfbSession() {
    [ -n "$demoPid" ] && kill "$demoPid" 2>/dev/null
    [ -n "$xvfbPid" ] && kill "$xvfbPid" 2>/dev/null
    wait 2>/dev/null
}
trap endXvfbSession EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

startXvfb() {
    Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$2/display" >"$2/xvfb.log" 2>&1 &
    xvfbPid=$!
    for _ in $(seq 100); do [ -s "$2/display" ] && break; sleep 0.1; done
    [ -s "$2/display" ] || fail "Xvfb did not start (see $2/xvfb.log)"
    export DISPLAY=:$(head -n 1 "$2/display")
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}

# Focuses window $1 and presses Escape: the demo (demoPid) must end with exit code 0.
escapeEndsDemo() {
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
    xdotool key --clearmodifiers Escape
    for _ in $(seq 100); do kill -0 "$demoPid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$demoPid" 2>/dev/null && fail "Escape did not end the demo"
    wait "$demoPid"
    local code=$?
    demoPid=""
    [ "$code" -eq 0 ] || fail "exit code $code after Escape"
}
