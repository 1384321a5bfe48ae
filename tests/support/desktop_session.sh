# Sourced by the tests that run the real program under a virtual X server. Sets `work` (a
# scratch folder removed at exit), `fail` (prints the program's log from $work/spinx.log),
# `wait_for SECONDS COMMAND...`, `start_xvfb` (exports DISPLAY) and `app_pid`, killed at exit.
work=$(mktemp -d /tmp/spinx-${SPINX_SESSION_NAME:-session}-XXXXXX)
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
    echo "${SPINX_SESSION_NAME:-session}: $*" >&2
    if [ -f "$work/spinx.log" ]; then sed 's/^/  spinx: /' "$work/spinx.log" >&2; fi
    exit 1
}
# Polls `condition` every 0.1 s for at most `seconds`.
wait_for() {
    local tries=$(($1 * 10))
    shift
    while ! "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}
# Xvfb picks a free display itself and writes its number to the descriptor we give it.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
    export DISPLAY=":$(head -n1 "$work/display")"
}
# Ends the program through File > Exit (Alt+F, X) and checks that it stops with status 0.
exit_through_menu() {
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    xdotool key --clearmodifiers --delay 250 alt+f x
    stopped() { ! kill -0 "$app_pid" 2>/dev/null; }
    wait_for 10 stopped || fail "still running 10 s after File > Exit"
    local status=0
    wait "$app_pid" || status=$?
    app_pid=""
    [ "$status" -eq 0 ] || fail "ended with status $status"
}
