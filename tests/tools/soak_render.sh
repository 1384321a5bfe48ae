#!/bin/sh
# Guards that an unattended set never stops: spinx-render plays a list of short songs, each with
# silence at both ends, among bad entries (a text file, a truncated MP3, a missing path, a
# folder), names every bad one, plays every good one, and leaves no silent gap in the mix.
set -eu
render=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Three songs (1.5 s silence, 3 s tone, 1.5 s silence), repeated to 26 rows.
for f in 330 440 550; do
    sox -n -r 44100 -c 2 tone$f.wav synth 3 sine $f vol 0.5 pad 1.5 1.5
    lame --quiet -b 96 tone$f.wav tone$f.mp3
done
echo "not a song" > text.mp3
head -c 300 tone440.mp3 > truncated.mp3
mkdir folder.mp3
: > list.m3u
for i in $(seq 1 26); do
    case $i in
    5) echo text.mp3 >> list.m3u ;;
    12) echo truncated.mp3 >> list.m3u ;;
    18) echo missing.mp3 >> list.m3u ;;
    24) echo folder.mp3 >> list.m3u ;;
    esac
    echo tone$(( (i % 3) * 110 + 330 )).mp3 >> list.m3u
done

status=0
"$render" list.m3u mix.wav --overlap 1000 --no-database > out.txt 2> err.txt || status=$?
cat out.txt err.txt
test "$status" -eq 3 # the set was written, and songs were skipped
test "$(grep -c '^skipped ' err.txt)" -eq 4
grep -q ': 26 songs played, 4 skipped, 0 stalls' out.txt

# The longest run of 10 ms blocks below -50 dBFS between the first sound and the last.
sox mix.wav -t s16 -c 1 -r 8000 mix.raw
gap=$(python3 - <<'PY'
import array
samples = array.array('h', open('mix.raw', 'rb').read())
blocks = [max(abs(s) for s in samples[i:i + 80]) for i in range(0, len(samples) - 79, 80)]
loud = [b > 32768 * 0.00316 for b in blocks]
first, last = loud.index(True), len(loud) - 1 - loud[::-1].index(True)
run = longest = 0
for on in loud[first:last + 1]:
    run = 0 if on else run + 1
    longest = max(longest, run)
print(longest * 10)
PY
)
echo "longest silent gap: $gap ms"
test "$gap" -le 200
