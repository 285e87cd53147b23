#!/usr/bin/env bash
# Builds the benchmarks (optimised) and runs each one; they print their own figures.
# Not part of the test command: figures depend on the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DDMMPANEL_BUILD_TESTS=OFF -DDMMPANEL_BUILD_APP=ON -DDMMPANEL_BUILD_BENCH=ON
cmake --build build/bench -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
status=0
for b in build/bench/bin/bench_*; do
    [ -x "$b" ] || continue
    echo "=== $(basename "$b")"
    "$b" "$@" || status=1
done
exit $status
