#!/bin/sh
# Guards spinx-render's inputs and exit status: a named pipe or a folder as the mix's file, a
# song database that cannot be used and a playlist too large to be one are refused at once as
# usage errors naming them (a pipe without a reader must not hang the renderer: each run has a
# timeout, so a regression fails instead); a set with a skipped song ends with status 3.
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
    timeout 20 "$render" list.m3u "$1" --no-database > out.txt 2> err.txt
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

expect() { # STATUS MESSAGE ARGS...
    want=$1 message=$2
    shift 2
    timeout 60 "$render" "$@" > out.txt 2> err.txt
    status=$?
    if [ "$status" -ne "$want" ] || ! grep -qF "$message" err.txt; then
        echo "FAIL: $* gave status $status, not $want with \"$message\":"
        cat err.txt
        fail=1
    fi
}
echo 'not a database' > text.mdb
ln -s /dev/zero zero.mdb
expect 2 "the song database none.mdb cannot be used" list.m3u a.flac --database none.mdb
expect 2 "the song database text.mdb cannot be used: it is not a song database" \
    list.m3u a.flac --database text.mdb
expect 2 "the song database zero.mdb cannot be used: it is a device" \
    list.m3u a.flac --database zero.mdb
truncate -s 17M huge.m3u
expect 2 "the playlist huge.m3u could not be read" huge.m3u a.flac --no-database
# A song whose name is not UTF-8 plays like any other.
cp tone.mp3 "$(printf 'bad\377.mp3')"
printf 'tone.mp3\nbad\377.mp3\n' > bytes.m3u
timeout 60 "$render" bytes.m3u b.flac --no-database --overlap 500 > out.txt 2> err.txt
if [ $? -ne 0 ] || ! grep -q "2 songs played, 0 skipped" out.txt; then
    echo "FAIL: a song named in bytes that are not UTF-8 was not played:"
    cat out.txt err.txt
    fail=1
fi
printf 'tone.mp3\nmissing.mp3\n' > some.m3u
expect 3 "skipped" some.m3u a.flac --no-database --overlap 500

exit $fail
