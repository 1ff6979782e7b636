#!/usr/bin/env bash
# Screenshots of the Windows decrypt-only program's windows, run under Wine on a virtual display
# and driven from the keyboard, into docs/screenshots/4*-sfx-*.png.
# Usage: scripts/windows-screenshots.sh [FOLDER]   (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshots}")
cryvan=$PWD/build/bin/cryvan
[ -x "$cryvan" ] || { echo "build first: bash scripts/build.sh" >&2; exit 1; }

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
missing=()
for p in wine wine64 xvfb xdotool x11-apps imagemagick; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# The large sample stays in memory where it can.
root=/dev/shm
[ -w "$root" ] || root=${TMPDIR:-/tmp}
work=$(mktemp -d "$root/cryvan-shots-XXXXXX")
display=:$((60 + RANDOM % 30))
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1 || true
cd "$work"
win() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }

mkdir -p src/Reports
seq 1 20000 >src/Reports/figures.csv
head -c 300000 /dev/urandom >src/Reports/photo.jpg
echo "Minutes of the meeting" >src/Reports/minutes.txt
"$cryvan" --text -e -i src -c Reports.aes.exe --sfx-platform windows -p 'the password' -q \
    </dev/null >/dev/null
mkdir -p big
head -c $((2 << 30)) /dev/urandom >big/archive.bin
"$cryvan" --text -e -i big -c Archive.aes.exe --sfx-platform windows -p 'the password' -q \
    </dev/null >/dev/null
rm -rf big

# The newest window whose title matches the pattern, once it is drawn.
window() {
    local title=$1 settle=${2:-1.5} id=""
    for _ in $(seq 1 100); do
        # Not the main window, which stays open under its questions.
        id=$(xdotool search --name "$title" 2>/dev/null | grep -vx "${main:-none}" | tail -1) &&
            [ -n "$id" ] && break
        sleep 0.2
    done
    if [ -z "$id" ]; then
        echo "no window \"$title\"; open:" >&2
        xdotool search --name . 2>/dev/null | while read -r w; do xdotool getwindowname "$w"; done >&2
        for w in $(xdotool search --name "^Cryvan$" 2>/dev/null); do xwd -id "$w" -silent | convert xwd:- "png:/tmp/debug-$w.png"; done
        exit 1
    fi
    sleep "$settle"
    echo "$id"
}
shot() {
    xwd -id "$1" -silent | convert xwd:- "png:$out/$2"
    echo "$out/$2"
}

# 1. The password and folder window; a wrong password; the folder chooser; a folder to create.
wine explorer /desktop=shots1,1200x760 Reports.aes.exe >/dev/null 2>&1 &
run=$!
main=
main=$(window '^Cryvan$')
shot "$main" 40-sfx-password.png
xdotool type --delay 20 'not it'
xdotool key Return
shot "$(window '^Cryvan$')" 41-sfx-wrong-password.png
xdotool key Return
sleep 1
xdotool key alt+b
shot "$(window '^Select the destination folder')" 42-sfx-folder-chooser.png
xdotool key Escape
sleep 1
# From Browse back to the folder, then the password.
xdotool key shift+Tab ctrl+a
xdotool type --delay 20 "$(win "$work/Restored")"
xdotool key shift+Tab
xdotool type --delay 20 'the password'
xdotool key Return
shot "$(window '^Cryvan$')" 43-sfx-create-folder.png
xdotool key alt+y
shot "$(window '^Cryvan$')" 44-sfx-done.png
xdotool key Return
wait "$run" || true
# Every window of the run closed before the next starts.
timeout 60 wineserver -w || true

# 2. The same files again: the question about files already there.
wine explorer /desktop=shots2,1200x760 Reports.aes.exe -p 'the password' \
    -o "$(win "$work/Restored")" >/dev/null 2>&1 &
run=$!
shot "$(window '^Confirm File Replace$')" 45-sfx-replace.png
xdotool key Escape
sleep 1
xdotool key Return
wait "$run" || true
# Every window of the run closed before the next starts.
timeout 60 wineserver -w || true

# 3. A large file: the progress window, and the question when Cancel is pressed.
wine explorer /desktop=shots3,1200x760 Archive.aes.exe -p 'the password' \
    -o "$(win "$work/Large")" >/dev/null 2>&1 &
run=$!
progress=$(window '^Decryption in Progress$' 0.7)
shot "$progress" 46-sfx-progress.png
xdotool key Escape
shot "$(window '^Cryvan$')" 47-sfx-cancel-question.png
xdotool key alt+y
sleep 2
xdotool key Return
wait "$run" || true
# Every window of the run closed before the next starts.
timeout 60 wineserver -w || true
echo "Screenshots in $out"
