#!/usr/bin/env bash
# The project's test command: installs what is missing, then builds and runs
# every test twice, once plainly and once under AddressSanitizer and
# UndefinedBehaviorSanitizer, with warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash scripts/install-deps.sh

# A compiler cache, so that the stages (and a second run) compile each source once.
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp

build_and_test() {
    local dir=$1; shift
    local started=$SECONDS
    echo "=== $dir: configure, build, test"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DDMMPANEL_WERROR=ON -DDMMPANEL_BUILD_BENCH=ON "$@"
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
    echo "=== $dir: stage took $((SECONDS - started)) s"
}

build_and_test build/test-plain

# --- USB VM stage (the kernel's usbtmc driver against dmmgadget) ---
# Boots Debian's kernel under QEMU with the plain build's binaries; a machine
# that cannot run it says why, and the closing line says it was skipped.
echo "=== usb-vm: the kernel USBTMC path in a virtual machine"
usb_vm_started=$SECONDS
usb_vm_note=""
set +e
bash scripts/usb-vm-test.sh build/test-plain 2>&1 | tee build/usb-vm-test.log
usb_vm_status=${PIPESTATUS[0]}
if [ "$usb_vm_status" -ne 0 ] && [ "$usb_vm_status" -ne 77 ]; then
    # An emulated machine on a loaded host can miss a kernel time-out once;
    # a second failure is a failure.
    echo "=== usb-vm: failed (status $usb_vm_status), running the machine once more"
    bash scripts/usb-vm-test.sh build/test-plain 2>&1 | tee build/usb-vm-test.log
    usb_vm_status=${PIPESTATUS[0]}
fi
set -e
if [ "$usb_vm_status" -eq 77 ]; then
    usb_vm_note=" (USB VM test SKIPPED: $(sed -n 's/^usb-vm: SKIPPED: //p' build/usb-vm-test.log | tail -n 1))"
elif [ "$usb_vm_status" -ne 0 ]; then
    echo "=== usb-vm: FAILED"
    exit 1
fi

echo "=== usb-vm: stage took $((SECONDS - usb_vm_started)) s"

# --- package stage (the Debian packages, built and installed) ---
# A Release build into dmmlog's and dmmpanel's .deb, lintian, and the
# packages installed (dmmlog alone first), run and purged in a clean Debian
# 12 root; a machine that cannot make that root says why, and the closing
# line says it was skipped.
echo "=== package: build the Debian packages, lintian, install into a clean Debian 12 root"
package_started=$SECONDS
built=$(bash scripts/package.sh)
mapfile -t debs <<<"$built"
set +e
bash scripts/package-test.sh "${debs[@]}" 2>&1 | tee build/package-test.log
package_status=${PIPESTATUS[0]}
set -e
echo "=== package: $(du -kc "${debs[@]}" | tail -n 1 | cut -f1) KiB, stage took $((SECONDS - package_started)) s"
package_note=""
if [ "$package_status" -eq 77 ]; then
    package_note=" (package root test SKIPPED: $(sed -n 's/^package-test: SKIPPED: //p' build/package-test.log | tail -n 1))"
elif [ "$package_status" -ne 0 ]; then
    echo "=== package: FAILED"
    exit 1
fi

# The benchmarks are built and checked by the plain stage; they are not run here.
build_and_test build/test-asan -DDMMPANEL_SANITIZE=address,undefined -DDMMPANEL_BUILD_BENCH=OFF
# --- thread sanitizer stage (pool, pacing-thread, link-worker, store and journal tests) ---
# The pools and the pacing thread, the code two threads share, the
# driver with its link worker and the reconnect logic against the simulated
# meter (tst_reconnect: the driver's three threads through losses and closes),
# the store read while it is appended (tst_store), and the journal
# (tst_journal: the writer's sync thread through failures and removed files,
# and a journal read on a thread of its own, as the window reads one, while a
# recording goes on). Qt itself
# is not built for the sanitizer: accesses inside Qt's own code are left
# unchecked (ignore_noninstrumented_modules), and scripts/tsan.supp names the
# few Qt internals that would still be reported; our code is never suppressed.
tsan_dir=build/test-tsan
echo "=== $tsan_dir: configure, build, test"
tsan_started=$SECONDS
cmake -S . -B "$tsan_dir" -DCMAKE_BUILD_TYPE=Debug -DDMMPANEL_WERROR=ON -DDMMPANEL_SANITIZE=thread \
    -DDMMPANEL_BUILD_APP=OFF -DDMMPANEL_BUILD_BENCH=OFF
cmake --build "$tsan_dir" -j "$jobs" --target tst_commandpool tst_poolthread tst_reconnect tst_store tst_journal
TSAN_OPTIONS="halt_on_error=1 ignore_noninstrumented_modules=1 suppressions=$root/scripts/tsan.supp" \
    ctest --test-dir "$tsan_dir" --output-on-failure -j "$jobs" -R '^tst_(commandpool|poolthread|reconnect|store|journal)$'
echo "=== $tsan_dir: stage took $((SECONDS - tsan_started)) s"

# --- fuzz stage (answer decoders, short bounded run) ---
# The driver library and the fuzz targets only, built with clang. New inputs
# and crash files go to the build directory; the seeds in fuzz/corpus are
# only read. FUZZ_SECONDS sets the time per target.
fuzz_dir=build/test-fuzz
echo "=== $fuzz_dir: configure, build, fuzz"
fuzz_started=$SECONDS
cmake -S . -B "$fuzz_dir" -DCMAKE_BUILD_TYPE=Debug -DDMMPANEL_WERROR=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DDMMPANEL_SANITIZE=address,undefined -DDMMPANEL_BUILD_FUZZ=ON \
    -DDMMPANEL_BUILD_APP=OFF -DDMMPANEL_BUILD_TESTS=OFF -DDMMPANEL_BUILD_BENCH=OFF
cmake --build "$fuzz_dir" -j "$jobs" --target fuzz_answers fuzz_storerecord
for target in answers storerecord; do
    mkdir -p "$fuzz_dir/corpus/$target" "$fuzz_dir/artifacts"
    "$fuzz_dir/bin/fuzz_$target" -max_total_time="${FUZZ_SECONDS:-60}" -max_len=1024 -print_final_stats=1 \
        -artifact_prefix="$fuzz_dir/artifacts/$target-" \
        "$fuzz_dir/corpus/$target" "fuzz/corpus/$target"
done
echo "=== $fuzz_dir: stage took $((SECONDS - fuzz_started)) s"

echo "=== every stage together took $((SECONDS / 60)) min"
echo "=== all tests passed$usb_vm_note$package_note"
