#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time on seeds our own writers
# make. Fails on any crash, leak, timeout or out-of-memory.
# Usage: scripts/fuzz.sh [seconds per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
bash scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCRYVAN_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)"

work=build-fuzz/corpus
rm -rf "$work"
build-fuzz/bin/make-fuzz-seeds "$work"
# Whole containers: the hostile ones kept with the tests, each broken in its own way.
mkdir -p "$work/containerinfo"
cp tests/vectors/hostile/*.aes "$work/containerinfo/"
for target in keyfooter dirfooter keypair emergency adminentry datarecovery organisation \
              containerinfo; do
    echo "== fuzzing $target for ${seconds}s"
    mkdir -p "$work/$target-found"
    log="build-fuzz/$target.log"
    set +e
    build-fuzz/bin/fuzz-$target "$work/$target-found" "$work/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix=build-fuzz/ >"$log" 2>&1
    rc=$?
    set -e
    grep -E "stat::number_of_executed_units|SUMMARY" "$log" || true
    if [ $rc -ne 0 ]; then
        tail -n 60 "$log"
        echo "fuzz target $target failed (exit $rc); artifacts in build-fuzz/"
        exit 1
    fi
done
echo "fuzzing: no crash, leak or hang"
