#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job end to end.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/bin/cryvan-pipeline-bench --dir "$work" --mib 64
