#!/usr/bin/env bash
# Runs a test program as the unprivileged user "nobody": as root, permission checks never
# bite, so the tests that depend on them would only ever be skipped. Exit 77 means skipped.
set -u
bin=$1
shift
[ "$(id -u)" -eq 0 ] || { echo "not root: the ordinary run already covers this"; exit 77; }
command -v setpriv >/dev/null || { echo "setpriv is missing"; exit 77; }
as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
"${as_nobody[@]}" test -x "$bin" || { echo "nobody cannot run $bin"; exit 77; }
exec "${as_nobody[@]}" env HOME=/tmp TMPDIR=/tmp "$bin" "$@"
