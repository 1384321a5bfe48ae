#!/bin/sh
# Guards what spinx-render writes the mix into: a named pipe or a folder is refused at once as a
# usage error naming it (a pipe without a reader must not hang the renderer: each run has a
# timeout, so a regression fails instead).
set -u
render=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

sox -q -n -r 44100 -c 2 tone.wav synth 1 sine 440 vol 0.5
lame --quiet -b 96 tone.wav tone.mp3
echo tone.mp3 > list.m3u
mkfifo pipe.flac
mkdir folder.wav
fail=0

refused() { # OUT KIND
    timeout 20 "$render" list.m3u "$1" --database none.mdb > out.txt 2> err.txt
    status=$?
    cat err.txt
    if [ "$status" -ne 2 ]; then
        echo "FAIL: $1 gave exit status $status (124: it hung), not 2"
        fail=1
    fi
    if ! grep -q "the output $1 is $2, not a regular file" err.txt; then
        echo "FAIL: the message does not name $1 as $2"
        fail=1
    fi
}
refused pipe.flac "a named pipe"
refused folder.wav "a folder"

exit $fail
