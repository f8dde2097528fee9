#!/usr/bin/env bash
# The demo where nobody can see it: with no display and no driver named, it ends at once with
# exit code 1 and one line on standard error; an off-screen driver named in SDL_VIDEODRIVER runs it; and without
# arguments on such a driver, where no question box can be shown, it says so in one line and runs
# in its window.
# Usage: no_display_test.sh DEMO WORKDIR.
set -u
demo=$1
work=$2
mkdir -p "$work"
rm -f "$work"/*.out "$work"/*.err
runtime=$(mktemp -d)
demoPid=""
cleanup() {
    [ -n "$demoPid" ] && kill "$demoPid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Ends the running demo as a desktop would (SIGTERM); one that has not ended 10 s later is a
# fault (a start-up stuck on a lock, say), told as such rather than left to the test's time limit.
stopDemo() {
    kill "$demoPid"
    for _ in $(seq 20); do
        kill -0 "$demoPid" 2>/dev/null || break
        sleep 0.5
    done
    if kill -0 "$demoPid" 2>/dev/null; then
        pkill -KILL -P "$demoPid"
        kill -KILL "$demoPid"
        wait "$demoPid" 2>/dev/null
        demoPid=""
        fail "$1: the demo did not end within 10 s of SIGTERM"
    fi
    wait "$demoPid" 2>/dev/null
    demoPid=""
}
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET SDL_VIDEODRIVER
export SDL_AUDIODRIVER=dummy

# One line on standard error and nothing else, matching $2; $1 names the file.
expectOneLine() {
    [ ! -s "$work/$1.out" ] || fail "$1: standard output is not empty: $(head -c 200 "$work/$1.out")"
    local lines
    lines=$(wc -l <"$work/$1.err")
    [ "$lines" -eq 1 ] || fail "$1: $lines lines on standard error, expected 1: $(head -c 400 "$work/$1.err")"
    grep -q "$2" "$work/$1.err" || fail "$1: standard error says '$(cat "$work/$1.err")'"
}

# Without XDG_RUNTIME_DIR, with one (where the Wayland library looks for a compositor and finds
# none), and with SDL_VIDEODRIVER set but empty (naming no driver).
for setting in no-runtime-dir runtime-dir empty-driver; do
    for args in "" x; do
        name=$setting${args:+-$args}
        case $setting in
            no-runtime-dir) env -u XDG_RUNTIME_DIR timeout 20 "$demo" $args >"$work/$name.out" 2>"$work/$name.err" ;;
            runtime-dir) XDG_RUNTIME_DIR=$runtime timeout 20 "$demo" $args >"$work/$name.out" 2>"$work/$name.err" ;;
            empty-driver) SDL_VIDEODRIVER= timeout 20 "$demo" $args >"$work/$name.out" 2>"$work/$name.err" ;;
        esac
        code=$?
        [ "$code" -ne 124 ] || fail "$name: still running after 20 s without a display"
        [ "$code" -eq 1 ] || fail "$name: exit code $code without a display, expected 1"
        expectOneLine "$name" '^skr4mm3lb0d: no display to show the demo on'
    done
done

# Named by the user, an off-screen driver runs the demo (until it is ended here).
for driver in offscreen dummy; do
    SDL_VIDEODRIVER=$driver "$demo" x >"$work/$driver.out" 2>"$work/$driver.err" &
    demoPid=$!
    sleep 3
    kill -0 "$demoPid" 2>/dev/null || fail "SDL_VIDEODRIVER=$driver: the demo ended: $(cat "$work/$driver.err")"
    stopDemo "SDL_VIDEODRIVER=$driver"
    [ ! -s "$work/$driver.err" ] || fail "SDL_VIDEODRIVER=$driver: standard error says '$(cat "$work/$driver.err")'"
done

# Without arguments the question cannot be shown there: one line, and the demo runs in its window.
SDL_VIDEODRIVER=offscreen "$demo" >"$work/question.out" 2>"$work/question.err" &
demoPid=$!
sleep 3
kill -0 "$demoPid" 2>/dev/null || fail "no question box: the demo ended: $(cat "$work/question.err")"
stopDemo "no question box"
expectOneLine question '^skr4mm3lb0d: could not ask whether to run in fullscreen (.*); running in a window$'
echo "no display: exit 1 with one line; SDL_VIDEODRIVER=offscreen and dummy run it; no question box: one line, a window"
