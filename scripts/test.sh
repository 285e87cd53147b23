#!/usr/bin/env bash
# The project's test command: installs what is missing, then builds and runs
# every test twice, once plainly and once under AddressSanitizer and
# UndefinedBehaviorSanitizer, with warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp

build_and_test() {
    local dir=$1; shift
    echo "=== $dir: configure, build, test"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DDMMPANEL_WERROR=ON -DDMMPANEL_BUILD_BENCH=ON "$@"
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

build_and_test build/test-plain
build_and_test build/test-asan -DDMMPANEL_SANITIZE=address,undefined
# --- thread sanitizer stage (pool and pacing-thread tests) ---

# --- fuzz stage (answer decoders, short bounded run) ---

echo "=== all tests passed"
