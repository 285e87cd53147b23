#!/usr/bin/env bash
# Long fuzz runs of the driver's answer decoders, outside CI:
#   bash scripts/fuzz.sh SECONDS [TARGET...]     (targets: answers storerecord; default both, one after the other)
# The targets are built optimised and without sanitizers, for speed (tens of
# thousands of inputs a second); every input the run kept is then replayed
# once through an AddressSanitizer + UndefinedBehaviorSanitizer build, so
# memory faults behind a kept input are still caught. New inputs go to
# build/fuzz-long/corpus/TARGET, crash files to build/fuzz-long/artifacts;
# the seeds in fuzz/corpus are only read.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [answers] [storerecord]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(answers storerecord)
jobs=$(nproc)

configure() { # DIR SANITIZERS
    cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDMMPANEL_WERROR=ON \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DDMMPANEL_SANITIZE="$2" \
        -DDMMPANEL_BUILD_FUZZ=ON -DDMMPANEL_BUILD_APP=OFF -DDMMPANEL_BUILD_TESTS=OFF -DDMMPANEL_BUILD_BENCH=OFF >/dev/null
    cmake --build "$1" -j "$jobs" --target "${targets[@]/#/fuzz_}" >/dev/null
}
fast=build/fuzz-long
checked=build/fuzz-long-asan
configure "$fast" ""
configure "$checked" address,undefined

status=0
for target in "${targets[@]}"; do
    corpus=$fast/corpus/$target
    mkdir -p "$corpus" "$fast/artifacts"
    echo "=== fuzz_$target: $seconds s"
    "$fast/bin/fuzz_$target" -max_total_time="$seconds" -max_len=1024 -print_final_stats=1 \
        -artifact_prefix="$fast/artifacts/$target-" "$corpus" "fuzz/corpus/$target" || status=1
    echo "=== fuzz_$target: replaying $(ls "$corpus" | wc -l) kept inputs under ASan+UBSan"
    "$checked/bin/fuzz_$target" -runs=0 -artifact_prefix="$fast/artifacts/$target-asan-" "$corpus" "fuzz/corpus/$target" \
        2>&1 | tail -n 3 || status=1
done
exit $status
