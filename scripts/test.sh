#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# Usage: scripts/test.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh "$@"
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-sanitize
# The tests that read the shared fixtures skip without them (and fail under CI=true): say so
# where it cannot be missed.
fixtures=${CRYVAN_FIXTURES:-$(cd .. && pwd)/shared/fixtures}
if [ ! -d "$fixtures" ]; then
    outcome=SKIPPED
    case "${CI:-}" in "" | 0 | false) ;; *) outcome=FAILED ;; esac
    echo "*** WARNING: no shared fixtures at $fixtures: the tests that read them are $outcome" \
         "(put the shared folder beside this checkout, or set CRYVAN_FIXTURES to a copy)" >&2
fi
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
