#!/usr/bin/env bash
# Renders every page and dialog of the desktop program offscreen into docs/screenshots/.
# Usage: scripts/screenshots.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
out="${1:-docs/screenshots}"
# The sample holds a large file so that the progress pages show a run under way: keep it in memory.
sample_root=/dev/shm
[ -w "$sample_root" ] || sample_root="${TMPDIR:-/tmp}"
TMPDIR="$sample_root" QT_QPA_PLATFORM=offscreen build/bin/cryvan-screenshots "$out"
