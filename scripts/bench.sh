#!/usr/bin/env bash
# Installs what is missing, builds, and runs the engine benchmark (default 256 MiB per file).
# Usage: scripts/bench.sh [--dir D] [--mib N] [--runs R]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
build/bin/cryvan-engine-bench "$@"
