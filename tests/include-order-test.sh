#!/usr/bin/env bash
# The include check passes on the tree as it is and fails on a copy with one wrong-way include
# planted in each kind of place: a lower layer, an application role, the decrypt-only program.
set -uo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
check=$src/scripts/check-includes.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$check" "$src" || { echo "FAIL: the tree itself does not pass"; exit 1; }

plant() { # file, include (a project header; <...> for a system one)
    rm -rf "$work/tree" && mkdir "$work/tree"
    (cd "$src" && tar cf - os filters format recovery engine resources app bench fuzz scripts) |
        (cd "$work/tree" && tar xf -)
    local line="#include \"$2\"" named="includes \"$2\""
    if [[ $2 == "<"* ]]; then
        line="#include $2"
        named="includes $2"
    fi
    printf '%s\n' "$line" >>"$work/tree/$1"
    if "$check" "$work/tree" 2>"$work/err"; then
        echo "FAIL: $1 including $2 passed"
        return 1
    fi
    grep -qF "$1: $named" "$work/err" || { echo "FAIL: not named: $(cat "$work/err")"; return 1; }
    echo "ok: $1 including $2 is refused"
}
status=0
plant os/File.h filters/Random.h || status=1
plant format/Footer.cpp engine/FileCryptor.h || status=1
plant app/core/Sheet.cpp app/wizard/Wizard.h || status=1
plant app/config/Settings.h app/prefs/AdminDialogs.h || status=1
plant app/sfx/SelfExtractor.cpp app/text/TerminalDialogs.h || status=1
plant app/wizard/Wizard.cpp app/prefs/PreferencesPages.h || status=1
plant engine/FileCryptor.cpp os/trash/DesktopTrash.h || status=1
plant app/core/Sheet.cpp app/console/LineInput.h || status=1
plant app/core/OperationRunner.cpp "<termios.h>" || status=1
plant app/wizard/Wizard.cpp "<QWidget>" || status=1
plant app/config/Settings.cpp "<gio/gio.h>" || status=1
exit $status
