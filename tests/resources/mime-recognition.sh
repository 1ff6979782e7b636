#!/usr/bin/env bash
# GIO names Cryvan's types once the MIME package is installed: a container by its header alone,
# and by the .aes and .aes.exe names (the latter over the program it begins with). Without the
# package the same files are something else, so the check cannot pass by chance.
# Usage: mime-recognition.sh cryvan.xml HEADER_TEXT
set -euo pipefail
. "$(dirname "$0")/need.sh"
need update-mime-database shared-mime-info
need gio libglib2.0-bin

package=$1
header=$2
[ -f "$package" ] || fail "no $package"
[ ${#header} -eq 35 ] || fail "the container header is ${#header} bytes, not 35: '$header'"

system=/usr/share/mime/packages/freedesktop.org.xml
[ -f "$system" ] || fail "no $system (package shared-mime-info)"

# Two databases of our own: the system's types alone, and with the package. A copy of the
# package already installed on this machine must not decide the outcome.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for tree in without with; do
    mkdir -p "$work/$tree/mime/packages"
    cp "$system" "$work/$tree/mime/packages/"
done
cp "$package" "$work/with/mime/packages/"
mkdir -p "$work/files"
for tree in without with; do
    PKGSYSTEM_ENABLE_FSYNC=0 update-mime-database "$work/$tree/mime" >"$work/update.log" 2>&1 ||
        fail "update-mime-database refuses the $tree tree: $(cat "$work/update.log")"
done

files=$work/files
# The header then binary data, under a name that says nothing.
{ printf '%s' "$header"; printf '\0\0\0\1\377\376binary'; } >"$files/container"
# Names alone: data that matches no header, and a real program behind .aes.exe.
printf 'Not a container at all, only its name says so.\0\1\2' >"$files/x.aes"
program=$(command -v gio)
cp "$program" "$files/x.aes.exe"
cp "$program" "$files/UPPER.AES.EXE"

type_of() {
    XDG_DATA_HOME="$work/none" XDG_DATA_DIRS="$1" gio info -a standard::content-type "$2" |
        sed -n 's/^ *standard::content-type: //p'
}

status=0
while read -r name expected; do
    got=$(type_of "$work/with" "$files/$name")
    if [ "$got" != "$expected" ]; then
        echo "FAILED: $name is '$got', expected '$expected'" >&2
        status=1
    else
        echo "$name: $got"
    fi
    without=$(type_of "$work/without" "$files/$name")
    if [ "$without" = "$expected" ]; then
        echo "FAILED: $name is '$without' even without the package: the check proves nothing" >&2
        status=1
    fi
done <<'CASES'
container application/x-cryvan
x.aes application/x-cryvan
x.aes.exe application/x-cryvan-executable
UPPER.AES.EXE application/x-cryvan-executable
CASES
exit $status
