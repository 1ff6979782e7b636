#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job end to end: files encrypted into a
# container and decrypted back through the engine, verified byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh
build/bin/cryvan-engine-bench --mib 16 --runs 1
