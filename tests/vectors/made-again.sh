#!/usr/bin/env bash
# Makes the hostile vectors afresh in a temporary folder and runs the engine's vector test on
# them. Usage: made-again.sh MAKE_VECTORS TEST_ENGINE
set -euo pipefail
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$1" "$folder"
CRYVAN_HOSTILE_VECTORS=$folder "$2" --gtest_filter='Hostile/HostileVector.*' --gtest_brief=1
