# shellcheck shell=bash
# Sourced by the desktop-file tests. A missing tool skips the test (status 77), except under CI,
# where scripts/install-deps.sh has installed it and its absence is a failure.
need() {
    command -v "$1" >/dev/null 2>&1 && return 0
    case "${CI:-}" in
    "" | 0 | false)
        echo "SKIPPED: $1 is not installed (package $2; scripts/install-deps.sh installs it)" >&2
        exit 77
        ;;
    esac
    echo "FAILED: $1 is not installed (package $2)" >&2
    exit 1
}

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
