#!/usr/bin/env bash
# The kernel USBTMC path, for real: boots Debian's kernel under QEMU with a
# small initramfs (busybox, the USB modules, this project's binaries and their
# libraries, the system's Python with Debian's PyVISA), loads usbtmc,
# dummy_hcd, libcomposite and usb_f_fs, and runs tst_usbkernel and
# tst_pyvisa.py --kernel there: dmmgadget puts the simulated meter on
# dummy_hcd's bus, the kernel's usbtmc driver binds it, and every check goes
# through /dev/usbtmcN.
#
#   bash scripts/usb-vm-test.sh [--bench] [BUILD_DIR]
#
# BUILD_DIR is a configured build tree (default build/usb-vm/build, made here,
# Release). --bench runs, instead of the checks, the benchmark
# bench/bench_pyvisa_backends.py: PyVISA on our library against pyvisa-py
# (libusb) on the same gadget, printed, never failing for a figure.
# Everything comes from Debian packages: qemu-system-x86 and busybox-static
# are installed when missing; the kernel is the one of linux-image-amd64,
# used where installed, otherwise its package is fetched with apt-get download
# and unpacked below build/usb-vm/kernel (the host's own kernel and boot
# files are left alone). KVM is used where /dev/kvm works, plain emulation
# otherwise.
#
# Exit status: 0 every check passed; 1 a check failed or the machine did not
# finish; 77 skipped, with the reason on the last line (USB_VM_TEST=0 skips
# on purpose).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bench=
if [ "${1:-}" = --bench ]; then
    bench=1
    shift
fi
build=${1:-build/usb-vm/build}
work=$root/build/usb-vm
mkdir -p "$work"

skip() {
    echo "usb-vm: SKIPPED: $*"
    exit 77
}

[ "$(uname -m)" = x86_64 ] || skip "the virtual machine needs an x86_64 host, this is $(uname -m)"
[ "${USB_VM_TEST:-1}" != 0 ] || skip "USB_VM_TEST=0 asks to leave it out"
bash scripts/install-deps.sh qemu-system-x86 busybox-static \
    || skip "qemu-system-x86, busybox-static, python3-pyvisa or python3-pyvisa-py could not be installed"
/usr/bin/python3 -c 'import pyvisa' || { echo "usb-vm: FAILED: python3-pyvisa is installed but does not import"; exit 1; }

# --- the kernel: installed linux-image-amd64, else its package unpacked here ---
kernel_dir=$work/kernel
find_kernel() {
    local base=$1 image
    for image in "$base"/boot/vmlinuz-*-amd64; do
        [ -f "$image" ] || continue
        local version=${image##*/vmlinuz-}
        if [ -f "$base/lib/modules/$version/kernel/drivers/usb/class/usbtmc.ko" ]; then
            vmlinuz=$image
            modules=$base/lib/modules/$version
            return 0
        fi
    done
    return 1
}
if ! find_kernel "" && ! find_kernel "$kernel_dir"; then
    apt-cache policy linux-image-amd64 | grep -q 'Candidate: [0-9]' || apt-get update -qq || true
    package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    [ -n "$package" ] || skip "no linux-image-amd64 package to be had"
    echo "usb-vm: unpacking $package into $kernel_dir"
    rm -rf "$kernel_dir" && mkdir -p "$kernel_dir/deb"
    (cd "$kernel_dir/deb" && apt-get download -q "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed') \
        || skip "apt-get download $package failed"
    dpkg-deb -x "$kernel_dir"/deb/*.deb "$kernel_dir"
    rm -rf "$kernel_dir/deb"
    find_kernel "$kernel_dir" || skip "$package holds no kernel with the usbtmc module"
fi
echo "usb-vm: kernel $vmlinuz"

# --- this project's binaries ---
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DDMMPANEL_WERROR=ON -DDMMPANEL_BUILD_APP=OFF \
        -DDMMPANEL_BUILD_BENCH=OFF
fi
if [ -n "$bench" ]; then
    programs=(dmmgadget)
else
    programs=(tst_usbkernel dmmgadget dmmlog)
fi
cmake --build "$build" -j "$(nproc)" --target "${programs[@]}" dmmvisa
build=$(cd "$build" && pwd)
echo "usb-vm: $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt") build in $build"

# --- the initramfs ---
staging=$work/initramfs
rm -rf "$staging"
mkdir -p "$staging"/{bin,dev,proc,sys,tmp,run,lib/modules}
cp /bin/busybox "$staging/bin/busybox"

# Modules in load order, each after those it depends on (read from the
# module's own .modinfo section, as the package ships no modules.dep).
declare -A loaded=()
load_order=()
add_module() {
    local name=$1 path dep
    [ -n "${loaded[$name]:-}" ] && return 0
    path=$(find "$modules/kernel" -name "$name.ko" -o -name "${name//_/-}.ko" | head -n 1)
    [ -n "$path" ] || { echo "usb-vm: module $name not found in $modules"; exit 1; }
    loaded[$name]=1
    for dep in $(tr '\0' '\n' <"$path" | sed -n 's/^depends=//p' | tr ',' ' '); do
        add_module "$dep"
    done
    cp "$path" "$staging/lib/modules/"
    load_order+=("$(basename "$path" .ko)")
}
for m in configfs usbtmc dummy_hcd libcomposite usb_f_fs; do
    add_module "$m"
done

# Binaries and every library they load, at the paths they have here, so that
# their run paths hold inside the machine too.
copy_with_libraries() {
    local file lib
    for file in "$@"; do
        mkdir -p "$staging$(dirname "$file")"
        cp -L "$file" "$staging$file"
        for lib in $(ldd "$file" | awk '$3 ~ /^\// {print $3} $1 ~ /^\// {print $1}'); do
            [ -f "$staging$lib" ] && continue
            mkdir -p "$staging$(dirname "$lib")"
            cp -L "$lib" "$staging$lib"
        done
    done
}
copy_with_libraries "${programs[@]/#/$build/bin/}" "$build/bin/libdmmvisa.so"

# The system's Python: its standard library without what no test imports
# (tests, GUI toolkits, tools), its extension modules with their libraries,
# and PyVISA with the one package it needs.
stdlib=$(/usr/bin/python3 -c 'import sysconfig; print(sysconfig.get_path("stdlib"))')
tar -C / -cf - --exclude="${stdlib#/}/"{test,idlelib,tkinter,turtledemo,lib2to3,ensurepip,pydoc_data,config-*} \
    --exclude="lib-dynload/_test*" "${stdlib#/}" | tar -C "$staging" -xf -
copy_with_libraries /usr/bin/python3 "$stdlib"/lib-dynload/*.so
site=/usr/lib/python3/dist-packages
mkdir -p "$staging$site"
cp -r "$site/pyvisa" "$site/typing_extensions.py" "$staging$site/"
pyvisa_test=$root/tests/visa/tst_pyvisa.py
mkdir -p "$staging$(dirname "$pyvisa_test")"
cp "$pyvisa_test" "$staging$pyvisa_test"
if [ -n "$bench" ]; then
    # pyvisa-py with PyUSB, which finds libusb through ldconfig's cache.
    cp -r "$site/pyvisa_py" "$site"/PyVISA_py-*.egg-info "$site/usb" "$site"/pyusb-*.egg-info "$staging$site/"
    copy_with_libraries /lib/x86_64-linux-gnu/libusb-1.0.so.0 /sbin/ldconfig
    mkdir -p "$staging/etc"
    cp -r /etc/ld.so.conf /etc/ld.so.conf.d "$staging/etc/"
    bench_script=$root/bench/bench_pyvisa_backends.py
    mkdir -p "$staging$(dirname "$bench_script")"
    cp "$bench_script" "$staging$bench_script"
    checks="/sbin/ldconfig
/usr/bin/python3 $bench_script $build/bin/dmmgadget $build/bin/libdmmvisa.so
status=\$?
echo \"usb-vm: benchmark status \$status\""
else
    checks="$build/bin/tst_usbkernel
kernel_status=\$?
/usr/bin/python3 $pyvisa_test --kernel $build/bin/dmmgadget $build/bin/libdmmvisa.so
pyvisa_status=\$?
echo \"usb-vm: tst_usbkernel status \$kernel_status, tst_pyvisa.py --kernel status \$pyvisa_status\"
status=\$((kernel_status | pyvisa_status))"
fi

cat >"$staging/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin HOME=/tmp
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# /tmp is the initramfs's own (writable) folder: a tmpfs there would hide
# binaries that were built under /tmp.
for m in ${load_order[*]}; do
    case \$m in
        dummy_hcd) params=is_high_speed=0 ;; # full speed, as the meter: small packets
        *) params= ;;
    esac
    insmod /lib/modules/\$m.ko \$params || echo "usb-vm: cannot load \$m"
done
mount -t configfs configfs /sys/kernel/config
echo "usb-vm: machine up, running the checks"
$checks
[ \$status -eq 0 ] || dmesg | tail -n 60
echo "usb-vm-exit=\$status"
poweroff -f
EOF
chmod +x "$staging/init"
initrd=$work/initrd.cpio
(cd "$staging" && find . | busybox cpio -o -H newc 2>/dev/null) >"$initrd"

# --- the machine ---
# KVM where it boots the machine: a nested /dev/kvm can exist and still hang
# the guest, so a KVM boot that does not reach the checks within 30 s
# gives way to plain emulation.
log=$work/console.log
run_machine() { # ACCEL LIMIT
    : >"$log"
    timeout --kill-after=10 "$2" nice -n 5 qemu-system-x86_64 -accel "$1" -m 1024 -smp 2 \
        -display none -nodefaults -no-reboot -serial stdio -monitor none \
        -kernel "$vmlinuz" -initrd "$initrd" \
        -append "console=ttyS0 panic=-1 loglevel=3 quiet" </dev/null >>"$log" 2>&1 &
    qemu=$!
}
follow_log() { # prints the console as it grows until QEMU ends
    tail -n +1 --pid="$qemu" -f "$log"
}
booted=
if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then
    run_machine kvm "${USB_VM_TIMEOUT_KVM:-900}"
    for _ in $(seq 30); do
        grep -q '^usb-vm: machine up' "$log" && { booted=kvm; break; }
        kill -0 "$qemu" 2>/dev/null || break
        sleep 1
    done
    if [ -z "$booted" ]; then
        kill "$qemu" 2>/dev/null || true
        wait "$qemu" 2>/dev/null || true
        echo "usb-vm: KVM did not boot the machine within 30 s ($(grep -m1 -i 'error\|warning' "$log" || echo 'no message')): plain emulation instead"
    fi
else
    echo "usb-vm: /dev/kvm is not usable here: plain emulation"
fi
if [ -z "$booted" ]; then
    run_machine tcg "${USB_VM_TIMEOUT_TCG:-2400}"
    booted=tcg
fi
echo "usb-vm: running the machine with $booted"
set +e
follow_log
wait "$qemu"
qemu_status=$?
set -e
status=$(sed -n 's/^usb-vm-exit=\([0-9]*\).*/\1/p' "$log" | tail -n 1)
if [ -z "$status" ]; then
    [ "$qemu_status" -eq 124 ] && echo "usb-vm: FAILED: the machine did not finish in time" \
        || echo "usb-vm: FAILED: the machine stopped before the checks ended (QEMU status $qemu_status)"
    exit 1
fi
if [ -n "$bench" ]; then
    [ "$status" -eq 0 ] && echo "usb-vm: benchmark done" || echo "usb-vm: FAILED: the benchmark did not run (status $status)"
else
    [ "$status" -eq 0 ] && echo "usb-vm: all checks passed" || echo "usb-vm: FAILED: checks failed (status $status)"
fi
[ "$status" -eq 0 ]
