#!/usr/bin/env bash
# Starts the real program from a fresh program folder under a virtual X server, closes it from
# the keyboard (Alt+F, then X for "E&xit"), and checks that it ended with status 0 within a few
# seconds and left its song database "spinx.mdb" in that folder.
set -euo pipefail

program=${1:?usage: e2e_spinx.sh PATH/TO/spinx}
SPINX_SESSION_NAME=e2e_spinx
source "$(dirname "$0")/../support/desktop_session.sh"

# The program folder is the folder of the running executable: a copy runs in a fresh one.
mkdir "$work/program"
cp "$program" "$work/program/spinx"

start_xvfb
export QT_QPA_PLATFORM=xcb

"$work/program/spinx" >"$work/spinx.log" 2>&1 &
app_pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Spinx$' | head -n1) ||
    fail "no window named Spinx appeared"
exit_through_menu "$window"
[ -f "$work/program/spinx.mdb" ] || fail "no spinx.mdb in the program folder"
echo "e2e_spinx: started, closed through File > Exit, status 0, spinx.mdb in place"
