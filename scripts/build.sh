#!/usr/bin/env bash
# Configures and builds into build/ (or build-<variant>/ for a sanitizer build).
# Usage: scripts/build.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
    dir=build-sanitize
    # The sanitizers watch the Linux code; the Windows program is tested by the main build.
    args=(-DCMAKE_BUILD_TYPE=Debug -DCRYVAN_SANITIZE=ON -DCRYVAN_WINDOWS_SFX=OFF)
fi
[ "${CI:-}" = "true" ] && args+=(-DCRYVAN_WERROR=ON)

# The Windows decrypt-only program the main one carries needs Crypto++ built for mingw (once).
bash scripts/windows.sh --deps-only
cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
