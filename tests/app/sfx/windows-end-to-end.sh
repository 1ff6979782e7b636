#!/usr/bin/env bash
# Self-decrypting containers between Linux and Windows, under Wine: one made here for Windows
# runs there with -p -o -q and gives every file back byte for byte, with its modification time
# and its read-only attribute; one made by the Windows build opens with cryvan here.
# Usage: windows-end-to-end.sh <cryvan program> <folder of cryvan-sfx.exe and cryvan-make-sfx.exe>
set -euo pipefail
cryvan=$1
bin=$2
command -v wine >/dev/null || { echo "no wine: skipped"; exit 77; }
[ -f "$bin/cryvan-sfx.exe" ] && [ -f "$bin/cryvan-make-sfx.exe" ] ||
    { echo "no Windows build of the decrypt-only program: skipped"; exit 77; }

work=$(mktemp -d)
export WINEPREFIX=${CRYVAN_WINEPREFIX:-$work/wine} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k 2>/dev/null || true
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
unset DISPLAY WAYLAND_DISPLAY
wineboot -i >/dev/null 2>&1 || true
cd "$work"
# Wine shows the Linux root as drive Z:.
win() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }

mkdir -p "src/docs/deep" "src/empty folder"
head -c 700000 /dev/urandom >src/docs/random.bin
seq 1 50000 >"src/docs/deep/numbers and spaces.txt"
: >src/docs/zero.txt
printf 'caf\xc3\xa9\n' >src/docs/$'caf\xc3\xa9.txt'
printf 'keep me\n' >src/docs/readonly.txt
touch -d '2019-04-05 06:07:08' src/docs/random.bin "src/docs/deep/numbers and spaces.txt"
chmod a-w src/docs/readonly.txt

# Made here for Windows: a Windows program in front.
"$cryvan" --text -e -i src -c box.aes.exe --sfx-platform windows -p 'the password' -q \
    </dev/null >encrypt.log || { cat encrypt.log; exit 1; }
[ "$(head -c 2 box.aes.exe)" = MZ ] || { echo "not a Windows program in front"; exit 1; }

wine box.aes.exe -p 'the password' -o "$(win out)" -q </dev/null >run.log 2>&1 ||
    { echo "status $?"; cat run.log; exit 1; }
diff -r src out/src
for f in docs/random.bin "docs/deep/numbers and spaces.txt"; do
    [ "$(stat -c %Y "src/$f")" = "$(stat -c %Y "out/src/$f")" ] ||
        { echo "$f: modification time not kept"; exit 1; }
done
# Read-only comes back as a file nobody may write.
[ "$(stat -c %A out/src/docs/readonly.txt | cut -c3,6,9)" = "---" ] ||
    { echo "read-only not kept: $(stat -c %A out/src/docs/readonly.txt)"; exit 1; }

# A wrong password fails, writing nothing.
if wine box.aes.exe -p 'not it' -o "$(win wrong)" -q </dev/null >wrong.log 2>&1; then
    echo "a wrong password was accepted"; exit 1
fi
grep -q "The password entered was incorrect." wrong.log
[ ! -e wrong ] || [ -z "$(ls -A wrong)" ]

# Made by the Windows build, opened here.
wine "$bin/cryvan-make-sfx.exe" "$(win "$bin/cryvan-sfx.exe")" "$(win made.aes.exe)" \
    'windows password' "$(win src)" >make.log 2>&1 || { cat make.log; exit 1; }
[ "$(head -c 2 made.aes.exe)" = MZ ] || { echo "not a Windows program in front"; exit 1; }
"$cryvan" --text -d -c made.aes.exe -o "$work/back" -p 'windows password' -q \
    </dev/null >dec.log || { cat dec.log; exit 1; }
diff -r src back/src
echo "Windows end to end: ok"
