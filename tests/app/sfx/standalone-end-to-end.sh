#!/usr/bin/env bash
# A self-decrypting container made by the main program runs as a program, here and alone in an
# otherwise empty root file system (no Cryvan, no shared libraries), and gives every file back
# byte for byte; the main program decrypts the same file too.
# Usage: standalone-end-to-end.sh <cryvan program>
set -euo pipefail
cryvan=$1
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"

mkdir -p "src/docs/deep/er" "src/empty folder"
head -c 1500000 /dev/urandom >src/docs/random.bin
seq 1 200000 >"src/docs/deep/er/numbers and spaces.txt"
: >src/docs/zero.txt
printf 'caf\xc3\xa9\n' >src/docs/$'caf\xc3\xa9.txt'

"$cryvan" --text -e -i src -c box.aes.exe -x --sfx-platform linux -p 'the password' -q </dev/null >encrypt.log ||
    { cat encrypt.log; exit 1; }
[ -x box.aes.exe ] || { echo "the stand-alone container is not executable"; exit 1; }

# Run as a program, into another folder.
./box.aes.exe -p 'the password' -o "$work/out one" -q </dev/null >run.log || { cat run.log; exit 1; }
diff -r src "out one/src"

# The main program reads the same file.
"$cryvan" --text -d -c box.aes.exe -o "$work/out two" -p 'the password' -q </dev/null >dec.log ||
    { cat dec.log; exit 1; }
diff -r src "out two/src"

# A wrong password fails without writing anything.
if ./box.aes.exe -p 'not the password' -o "$work/out three" -q </dev/null >wrong.log; then
    echo "a wrong password was accepted"; exit 1
fi
grep -q "The password entered was incorrect." wrong.log

# Alone in an empty root: chroot as root, a user namespace otherwise.
mkdir root
cp box.aes.exe root/
if [ "$(id -u)" = 0 ]; then
    enter=(chroot root)
elif unshare -r -R root /box.aes.exe --help >/dev/null 2>&1; then
    enter=(unshare -r -R root)
else
    echo "neither root nor user namespaces: the empty-root run is skipped"
    exit 77
fi
"${enter[@]}" /box.aes.exe -p 'the password' -o /restored -q </dev/null >root.log ||
    { cat root.log; exit 1; }
diff -r src root/restored/src
[ "$(ls root)" = "$(printf 'box.aes.exe\nrestored')" ]

# Deleting itself when asked to, without a question.
cp box.aes.exe once.aes.exe
./once.aes.exe -p 'the password' -o "$work/out four" -q -r d -f </dev/null >delete.log
[ ! -e once.aes.exe ] || { echo "the program did not delete itself"; exit 1; }
echo "stand-alone end to end: ok ($(stat -c %s box.aes.exe) bytes container)"
