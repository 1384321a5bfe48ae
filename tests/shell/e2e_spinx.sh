#!/usr/bin/env bash
# Starts the real program from a fresh program folder under a virtual X server, closes it from
# the keyboard (Alt+F, then X for "E&xit"), and checks that it ended with status 0 within a few
# seconds and left its song database "spinx.mdb" in that folder.
set -euo pipefail

program=${1:?usage: e2e_spinx.sh PATH/TO/spinx}
work=$(mktemp -d /tmp/spinx-e2e-XXXXXX)
xvfb_pid=""
app_pid=""
cleanup() {
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "e2e_spinx: $*" >&2
    if [ -f "$work/spinx.log" ]; then sed 's/^/  spinx: /' "$work/spinx.log" >&2; fi
    exit 1
}
# Polls `condition` every 0.1 s for at most `seconds`.
wait_for() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    while ! "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

# The program folder is the folder of the running executable: a copy runs in a fresh one.
mkdir "$work/program"
cp "$program" "$work/program/spinx"

# Xvfb picks a free display itself and writes its number to the descriptor we give it.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb

"$work/program/spinx" >"$work/spinx.log" 2>&1 &
app_pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Spinx$' | head -n1) ||
    fail "no window named Spinx appeared"
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key --clearmodifiers --delay 250 alt+f x

running() { kill -0 "$app_pid" 2>/dev/null; }
stopped() { ! running; }
wait_for 10 stopped || fail "still running 10 s after File > Exit"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "ended with status $status"
[ -f "$work/program/spinx.mdb" ] || fail "no spinx.mdb in the program folder"
echo "e2e_spinx: started, closed through File > Exit, status 0, spinx.mdb in place"
