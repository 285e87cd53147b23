#!/usr/bin/env bash
# tst_install.sh CMAKE BUILD_DIR: installs BUILD_DIR into a temporary prefix,
# then checks what was installed and starts the installed visaquery and
# dmmpanel from there (offscreen, with the simulated meter).
set -euo pipefail
cmake=$1
build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

for file in bin/dmmpanel bin/visaquery bin/dmmgadget lib/libdmmvisa.so lib/libdmmsimvisa.so \
    "share/doc/dmmpanel/Software User Manual.pdf" share/applications/dmmpanel.desktop; do
    [ -e "$prefix/$file" ] || fail "$file is not installed"
done

# Every shared library carries a version and is known by its SONAME; the
# unversioned name is a link to it.
libraries=(Pavlane Orrin Kelbrin dmmvisa dmmsim dmmsimvisa Tessaly Varnok)
for name in "${libraries[@]}"; do
    so=$prefix/lib/lib$name.so
    [ -L "$so" ] || fail "lib$name.so is not a link to a versioned library"
    soname=$(readelf -d "$so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [[ $soname == lib$name.so.[0-9]* ]] || fail "lib$name.so has SONAME '$soname'"
    [ -L "$prefix/lib/$soname" ] || fail "$soname is not installed"
done

# The installed programs load the installed libraries, not the build tree's.
for program in dmmpanel visaquery dmmgadget; do
    loaded=$(ldd "$prefix/bin/$program")
    for name in dmmvisa dmmsim; do
        grep -Eq "lib$name\.so.* => $prefix/(bin/\.\./)?lib/" <<<"$loaded" || fail "$program does not load lib$name from $prefix/lib"
    done
done

listed=$("$prefix/bin/visaquery" --list)
[ "$listed" = "USB0::0x28E9::0x0285::KM4473N-SIM::INSTR" ] || fail "visaquery --list printed '$listed'"

# dmmpanel shows its window, then is asked to end as a desktop session asks
# it: it must close the window (writing its settings) and exit with 0.
"$prefix/bin/dmmpanel" &
pid=$!
# It takes SIGTERM once its window is up; until then the signal would kill it.
# Until the program is started, the process is a shell that catches SIGTERM.
program=$(readlink -f "$prefix/bin/dmmpanel")
catches_term() {
    local caught
    [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$program" ] || return 1
    caught=$(sed -n 's/^SigCgt:[[:space:]]*//p' "/proc/$pid/status" 2>/dev/null) || return 1
    [ -n "$caught" ] && (((0x$caught >> 14) & 1))
}
for ((i = 0; i < 600; ++i)); do
    catches_term && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
catches_term || { kill -KILL "$pid" 2>/dev/null || true; fail "dmmpanel never got ready to close on SIGTERM"; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "dmmpanel exited with $status after SIGTERM"
[ -f "$prefix/bin/options.xml" ] || fail "dmmpanel did not write its settings beside the installed program"
echo "PASS: installed into $prefix and ran from there"
