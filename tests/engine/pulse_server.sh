#!/usr/bin/env bash
# Starts or stops a private PulseAudio server with a null sink for the real-output test.
# Usage: pulse_server.sh start|stop DIR. The test and this script agree on DIR through
# PULSE_RUNTIME_PATH and PULSE_STATE_PATH (set by ctest for all three).
set -u
cmd=${1:?start or stop}
dir=${2:?state folder}
export PULSE_RUNTIME_PATH=$dir/run PULSE_STATE_PATH=$dir/state
stop() {
    if [ -f "$PULSE_RUNTIME_PATH/pid" ]; then
        pid=$(cat "$PULSE_RUNTIME_PATH/pid")
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
        rm -f "$PULSE_RUNTIME_PATH/pid"
    fi
    return 0
}
case $cmd in
start)
    stop
    mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
    if ! command -v pulseaudio >/dev/null; then
        echo "pulse_server.sh: pulseaudio is not installed (see scripts/deps)" >&2
        exit 1
    fi
    # -n: no default configuration, only a null sink and the local socket.
    if ! pulseaudio -D -n --exit-idle-time=-1 --system=false --log-target=stderr \
        --load="module-null-sink sink_name=spinx_null" --load=module-native-protocol-unix \
        2>"$dir/pulseaudio.log"; then
        echo "pulse_server.sh: pulseaudio would not start:" >&2
        cat "$dir/pulseaudio.log" >&2
        exit 1
    fi
    for _ in $(seq 50); do
        if pactl info >/dev/null 2>&1; then
            # A desktop's server keeps its sink thread real-time, as this one does; its main
            # thread, which takes in the clients' audio, gets the same here where allowed, so
            # that the tests measure our output rather than the server's luck on a machine
            # shared with other builds.
            chrt -r -a -p 5 "$(cat "$PULSE_RUNTIME_PATH/pid")" >/dev/null 2>&1
            exit 0
        fi
        sleep 0.1
    done
    echo "pulse_server.sh: pulseaudio started but does not answer" >&2
    exit 1
    ;;
stop) stop ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
