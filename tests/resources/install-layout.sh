#!/usr/bin/env bash
# `cmake --install` with DESTDIR and a prefix other than the configured one puts every desktop
# file in its place, the service menus executable, and every command line naming the program
# under that prefix.
# Usage: install-layout.sh CMAKE BUILT_DESKTOP_DIR APP_ID DATADIR BINDIR DOCDIR
set -euo pipefail
. "$(dirname "$0")/need.sh"

cmake=$1 built=$2 app_id=$3 data=$4 bin=$5 doc=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=/opt/cryvan-elsewhere
DESTDIR=$work/root "$cmake" --install "$built" --prefix "$prefix" >"$work/log" 2>&1 ||
    fail "cmake --install failed: $(cat "$work/log")"
root=$work/root$prefix

status=0
while read -r mode path; do
    file=$root/$path
    if [ ! -f "$file" ]; then
        echo "FAILED: not installed: $prefix/$path" >&2
        status=1
    elif [ "$(stat -c %a "$file")" != "$mode" ]; then
        echo "FAILED: $prefix/$path has mode $(stat -c %a "$file"), expected $mode" >&2
        status=1
    fi
done <<CASES
644 $data/applications/$app_id.desktop
644 $data/metainfo/$app_id.metainfo.xml
644 $data/mime/packages/cryvan.xml
644 $data/icons/hicolor/scalable/apps/$app_id.svg
644 $data/icons/hicolor/scalable/mimetypes/application-x-cryvan.svg
644 $data/icons/hicolor/scalable/mimetypes/application-x-cryvan-executable.svg
644 $data/nautilus-python/extensions/cryvan-nautilus.py
755 $data/kio/servicemenus/cryvan.desktop
755 $data/kio/servicemenus/cryvan-decrypt.desktop
644 $data/nemo/actions/cryvan-encrypt.nemo_action
644 $data/nemo/actions/cryvan-decrypt.nemo_action
644 $data/nemo/actions/cryvan-shred.nemo_action
644 $doc/thunar-uca.xml
CASES
if find "$work/root" -path "$root" -prune -o -type f -print | grep .; then
    echo "FAILED: the files above were installed outside the prefix" >&2
    status=1
fi

program=$prefix/$bin/cryvan
# Every command line, in every format (Exec=, <command>, the extension's PROGRAM).
lines=$(grep -rhoE '(Exec=|<command>|^PROGRAM = ")[^ "]*' "$root" | sed -E 's/^(Exec=|<command>|PROGRAM = ")//')
[ "$(wc -l <<<"$lines")" -ge 10 ] || fail "too few command lines found: $lines"
if others=$(grep -vxF "$program" <<<"$lines"); then
    echo "FAILED: command lines that do not start $program:" >&2
    echo "$others" >&2
    status=1
fi
exit $status
