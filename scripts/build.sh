#!/usr/bin/env bash
# Configures and builds into build/ (or build-<variant>/ for a sanitizer build).
# Usage: scripts/build.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
    dir=build-sanitize
    args=(-DCMAKE_BUILD_TYPE=Debug -DCRYVAN_SANITIZE=ON)
fi
[ "${CI:-}" = "true" ] && args+=(-DCRYVAN_WERROR=ON)

cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
