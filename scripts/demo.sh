#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job end to end: a few files and folders
# made in a temporary folder are encrypted into a container with `cryvan --text` and decrypted
# into a new folder, the summaries printed, and the two trees compared; then the same files
# become a self-decrypting container that is run as a program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT

mkdir -p "$work/docs/reports/2026" "$work/photos"
printf 'Quarterly figures\n' > "$work/docs/reports/2026/q1.txt"
seq 1 20000 > "$work/docs/reports/numbers.csv"
printf 'settings\n' > "$work/docs/.config"
head -c 200000 /dev/urandom > "$work/photos/holiday.jpg"
printf 'A note on its own\n' > "$work/note.txt"
chmod a-w "$work/note.txt"

# The password comes from a file, so it never shows on a command line.
umask 077
printf 'demo-password-1\n' > "$work/password"
mkdir -p "$work/in" && mv "$work/docs" "$work/photos" "$work/note.txt" "$work/in/"

echo "== Encrypting $work/in/docs, $work/in/photos and $work/in/note.txt"
build/bin/cryvan --text --password-file "$work/password" \
    -e -c "$work/demo.aes" -i "$work/in/docs" "$work/in/photos" "$work/in/note.txt" -q </dev/null

echo
echo "== Decrypting $work/demo.aes into $work/out"
build/bin/cryvan --text --password-file "$work/password" \
    -d -c "$work/demo.aes" -o "$work/out" -q </dev/null

echo
if diff -r "$work/in" "$work/out"; then
    echo "The decrypted tree is identical to the original."
else
    echo "The decrypted tree differs from the original." >&2
    exit 1
fi

echo
echo "== Encrypting the same files into the self-decrypting $work/demo.aes.exe"
build/bin/cryvan --text --password-file "$work/password" \
    -e -c "$work/demo.aes.exe" -x -i "$work/in/docs" "$work/in/photos" "$work/in/note.txt" -q \
    </dev/null >/dev/null
echo "== Running it: $work/demo.aes.exe --password-file ... -o $work/out-sfx -q"
"$work/demo.aes.exe" --password-file "$work/password" -o "$work/out-sfx" -q </dev/null
if diff -r "$work/in" "$work/out-sfx"; then
    echo "The self-decrypted tree is identical to the original."
else
    echo "The self-decrypted tree differs from the original." >&2
    exit 1
fi
