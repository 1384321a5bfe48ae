#!/usr/bin/env bash
# Installs the build into a temporary prefix, validates the desktop integration files, checks
# --help, --version and unknown options of every shipped program, then runs the installed spinx
# as a plain user (a folder it may not write, a fresh home) under a virtual X server with a song
# on its command line: no message box at start, the song in the kept playlist, the settings file
# and the song database in the XDG folders, and status 0 after File > Exit.
set -euo pipefail

build=${1:?usage: install_test.sh BUILD_DIR [SPINX_BENCH]}
bench=${2:-}
SPINX_SESSION_NAME=install_test
source "$(dirname "$0")/../support/desktop_session.sh"
chmod 755 "$work"

prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install failed"
app=org.spinx.Spinx
for f in bin/spinx bin/spinx-mp3info bin/spinx-render bin/spinx-analyse \
    share/spinx/spinx-about.html \
    share/applications/$app.desktop share/metainfo/$app.metainfo.xml \
    share/icons/hicolor/scalable/apps/$app.svg share/icons/hicolor/256x256/apps/$app.png \
    share/man/man1/spinx.1.gz share/man/man1/spinx-mp3info.1.gz share/man/man1/spinx-render.1.gz \
    share/man/man1/spinx-analyse.1.gz \
    share/licenses/spinx/LICENSE; do
    [ -s "$prefix/$f" ] || fail "$f was not installed"
done
desktop-file-validate "$prefix/share/applications/$app.desktop" || fail "desktop file invalid"
appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" >"$work/as.log" ||
    fail "metainfo invalid: $(cat "$work/as.log")"
for page in spinx spinx-mp3info spinx-render spinx-analyse; do
    title=$(printf '%s' "${page^^}" | sed 's/-/\\\\-/g') # SPINX\-RENDER
    gzip -dc "$prefix/share/man/man1/$page.1.gz" | grep -q "^\.TH $title 1" || fail "$page.1 unreadable"
done

# No display: a program that started its window for --help would fail here.
for program in "$prefix/bin/spinx" "$prefix/bin/spinx-mp3info" "$prefix/bin/spinx-render" \
    "$prefix/bin/spinx-analyse" $bench; do
    name=$(basename "$program")
    env -u DISPLAY -u QT_QPA_PLATFORM "$program" --help >"$work/out" || fail "$name --help failed"
    grep -q "^Usage: $name" "$work/out" || fail "$name --help printed no usage"
    out=$(env -u DISPLAY -u QT_QPA_PLATFORM "$program" --version) || fail "$name --version failed"
    [[ $out =~ ^$name\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$name --version printed '$out'"
    status=0
    env -u DISPLAY "$program" --no-such-option >"$work/out" 2>"$work/err" || status=$?
    [ "$status" -eq 2 ] || fail "$name with an unknown option ended with $status, not 2"
    [ ! -s "$work/out" ] && [ "$(wc -l <"$work/err")" -eq 1 ] ||
        fail "$name with an unknown option: want one line on stderr, got: $(cat "$work/err")"
done

# The suite runs as root; the program must meet the folders a plain user meets.
run_as=()
home=$work/home
mkdir -m 700 "$home"
if [ "$(id -u)" -eq 0 ]; then
    user=spinx-test
    id "$user" >/dev/null 2>&1 ||
        useradd --system --user-group --no-create-home --shell /usr/sbin/nologin "$user"
    chown "$user:" "$home"
    run_as=(setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --init-groups)
fi
mkdir "$work/songs"
song="$work/songs/Song One.mp3"
sox -q -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 2 sine 440 && lame --quiet "$work/tone.wav" "$song" ||
    fail "cannot make a test song"

start_xvfb

# Runs the installed program on one song, waits until the kept playlist holds `want` (the lines
# given), checks the XDG files and closes it through the menu.
run_spinx() {
    local song=$1
    shift
    "${run_as[@]}" env -i HOME="$home" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb PATH=/usr/bin:/bin \
        "$prefix/bin/spinx" "$song" >>"$work/spinx.log" 2>&1 &
    app_pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" --name '^Spinx$' |
        head -n1) || fail "no window named Spinx appeared"
    local kept=$home/.local/share/spinx/playlist.m3u want
    want=$(printf '#EXTM3U\n'; printf '%s\n' "$@")
    holds() { [ "$(cat "$kept" 2>/dev/null)" = "$want" ]; }
    wait_for 10 holds || fail "kept playlist is '$(cat "$kept" 2>/dev/null)', not '$want'"
    [ -f "$home/.config/spinx/spinx.ini" ] || fail "no settings file in ~/.config/spinx"
    [ -f "$home/.local/share/spinx/spinx.mdb" ] || fail "no song database in ~/.local/share/spinx"
    exit_through_menu "$window"
}
run_spinx "$song" "$song"
# The second start restores the first song and adds the new one after it.
cp "$song" "$work/songs/Song Two.mp3"
run_spinx "$work/songs/Song Two.mp3" "$song" "$work/songs/Song Two.mp3"
! grep -q "message box:" "$work/spinx.log" || fail "a message box was shown"
[ "$(ls "$prefix/bin")" = "$(printf 'spinx\nspinx-analyse\nspinx-mp3info\nspinx-render')" ] ||
    fail "files appeared beside the program"
echo "install_test: installed, validated, command lines checked, ran as a plain user from XDG folders"
