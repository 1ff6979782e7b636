#!/usr/bin/env bash
# What a double-click does once the package is installed: GIO picks Cryvan's entry for each
# container type and starts `cryvan --menu open PATH`. A stand-in program under the install
# prefix records the arguments it was given.
# Usage: open-container.sh CMAKE BUILT_DESKTOP_DIR BINDIR HEADER_TEXT
set -euo pipefail
. "$(dirname "$0")/need.sh"
need update-mime-database shared-mime-info
need update-desktop-database desktop-file-utils
need gio libglib2.0-bin

cmake=$1 built=$2 bin=$3 header=$4
system=/usr/share/mime/packages/freedesktop.org.xml
[ -f "$system" ] || fail "no $system (package shared-mime-info)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
"$cmake" --install "$built" --prefix "$prefix" >"$work/log" 2>&1 ||
    fail "cmake --install failed: $(cat "$work/log")"
mkdir -p "$prefix/$bin"
cat >"$prefix/$bin/cryvan" <<'PROGRAM'
#!/bin/sh
printf '%s\n' "$@" >"$CRYVAN_ARGS.part" && mv "$CRYVAN_ARGS.part" "$CRYVAN_ARGS"
PROGRAM
chmod +x "$prefix/$bin/cryvan"
# The databases the distribution's triggers would refresh.
share=$prefix/share
cp "$system" "$share/mime/packages/"
PKGSYSTEM_ENABLE_FSYNC=0 update-mime-database "$share/mime" >/dev/null 2>&1 ||
    fail "update-mime-database failed"
update-desktop-database "$share/applications" || fail "update-desktop-database failed"

files="$work/my files"
mkdir -p "$files"
{ printf '%s' "$header"; printf '\0\0\0\1binary'; } >"$files/container"
printf 'Only its name says so.\0' >"$files/old.aes"
cp "$(command -v gio)" "$files/run me.aes.exe"

status=0
for name in container old.aes "run me.aes.exe"; do
    args=$work/args
    rm -f "$args"
    CRYVAN_ARGS=$args XDG_DATA_HOME="$work/none" XDG_CONFIG_HOME="$work/none" \
        XDG_DATA_DIRS="$share" gio open "$files/$name" 2>"$work/err" ||
        fail "gio open '$name': $(cat "$work/err")"
    for _ in $(seq 100); do
        [ -f "$args" ] && break
        sleep 0.1
    done
    expected=$(printf '%s\n' --menu open "$files/$name")
    if [ ! -f "$args" ]; then
        echo "FAILED: opening '$name' started nothing" >&2
        status=1
    elif [ "$(cat "$args")" != "$expected" ]; then
        echo "FAILED: opening '$name' ran: $(tr '\n' ' ' <"$args")" >&2
        status=1
    else
        echo "$name: cryvan $(tr '\n' ' ' <"$args")"
    fi
done
exit $status
