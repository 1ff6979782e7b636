#!/usr/bin/env bash
# Every folder includes only its own headers and those of the layers beneath it. Run by the
# build (a wrong-way include fails it) and by a test on a tree with one planted.
#   scripts/check-includes.sh [source root]
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2

lower="os filters format recovery engine"
# folder: the project folders its files may include from (besides its own).
allowed() {
    case $1 in
        os/trash) echo "os" ;;
        os/windows) echo "os" ;;
        os) echo "" ;;
        os/windows) echo "os" ;;
        filters) echo "os" ;;
        format) echo "os filters" ;;
        recovery) echo "os filters format" ;;
        engine) echo "os filters format recovery" ;;
        resources) echo "" ;;
        app/core) echo "$lower" ;;
        app/config) echo "$lower app/core" ;;
        app/console) echo "$lower app/core" ;;
        app/wizard | app/prefs) echo "$lower app/core app/config" ;;
        app/session) echo "$lower app/core app/config app/wizard app/prefs" ;;
        app/org) echo "$lower app/core app/config app/console" ;;
        app/docs) echo "$lower app/core app/config app/console app/org" ;;
        app/sfx) echo "$lower app/core app/console" ;;
        app/text) echo "$lower os/trash resources app/core app/config app/console app/wizard app/prefs app/session" ;;
        app/qt) echo "$lower os/trash resources app/core app/config app/wizard app/prefs app/session" ;;
        bench) echo "$lower" ;;
        bench/qt) echo "$lower app/core app/config app/wizard app/qt" ;;
        fuzz) echo "$lower" ;;
        *) echo "?" ;;
    esac
}

# The folder a header belongs to: the deepest known folder of its path.
owner() {
    case $1 in
        os/trash/*) echo os/trash ;;
        app/sfx/win/*) echo app/sfx ;;  # the Windows front end of the decrypt-only program
        app/*/*) echo "${1%/*}" ;;
        */*) echo "${1%%/*}" ;;
        *) echo "" ;;
    esac
}

# System headers that draw or read a terminal, and the folders that may use them: the front ends.
drawing_allowed() {
    case $1 in
        app/console | app/text | app/sfx | app/org) [[ $2 != Q* ]] ;;
        app/qt | bench/qt) true ;;
        os/trash) [[ $2 == gio/* ]] ;;
        *) false ;;
    esac
}
is_drawing() {
    case $1 in
        termios.h | editline/* | readline/* | curses.h | ncurses.h | gio/* | gtk/* | Q*) true ;;
        *) false ;;
    esac
}

status=0
while IFS= read -r file; do
    dir=$(dirname "$file")
    [[ $dir == app/*/* ]] && dir=${dir%/*}
    ok=$(allowed "$dir")
    if [[ $ok == "?" ]]; then
        echo "$file: folder $dir has no rule in scripts/check-includes.sh" >&2
        status=1
        continue
    fi
    while IFS= read -r inc; do
        target=$(owner "$inc")
        [[ -z $target || $target == "$dir" ]] && continue
        [[ -d $target ]] || continue # a system header with a slash
        if [[ " $ok " != *" $target "* ]]; then
            echo "$file: includes \"$inc\" from $target, above $dir" >&2
            status=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
    while IFS= read -r sys; do
        if is_drawing "$sys" && ! drawing_allowed "$dir" "$sys"; then
            echo "$file: includes <$sys>, a terminal or toolkit library, outside a front end" >&2
            status=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/\1/p' "$file")
done < <(find os filters format recovery engine resources app bench fuzz \
    -name '*.h' -o -name '*.cpp' 2>/dev/null | sort)
exit $status
