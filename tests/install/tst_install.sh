#!/usr/bin/env bash
# tst_install.sh CMAKE BUILD_DIR: installs BUILD_DIR into a temporary prefix,
# then checks what was installed and starts the installed visaquery, dmmlog
# and dmmpanel from there (offscreen, with the simulated meter).
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

libdir=lib/dmmpanel
for file in bin/dmmpanel bin/dmmlog bin/visaquery bin/dmmgadget $libdir/libdmmvisa.so $libdir/libdmmsimvisa.so \
    "share/doc/dmmpanel/Software User Manual.pdf" share/applications/org.dmmpanel.DmmPanel.desktop \
    share/metainfo/org.dmmpanel.DmmPanel.metainfo.xml share/icons/hicolor/scalable/apps/dmmpanel.svg \
    share/icons/hicolor/48x48/apps/dmmpanel.png share/doc/dmmpanel/examples/dmmlog.service; do
    [ -e "$prefix/$file" ] || fail "$file is not installed"
done
# Every program has its manual page.
for program in "$prefix"/bin/*; do
    [ -f "$prefix/share/man/man1/${program##*/}.1" ] || fail "${program##*/} has no manual page"
done

# Every shared library carries a version and is known by its SONAME; the
# unversioned name is a link to it.
libraries=(Pavlane Orrin Kelbrin dmmvisa dmmsim dmmsimvisa Tessaly Varnok)
for name in "${libraries[@]}"; do
    so=$prefix/$libdir/lib$name.so
    [ -L "$so" ] || fail "lib$name.so is not a link to a versioned library"
    soname=$(readelf -d "$so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [[ $soname == lib$name.so.[0-9]* ]] || fail "lib$name.so has SONAME '$soname'"
    [ -L "$prefix/$libdir/$soname" ] || fail "$soname is not installed"
    # Loaded by path (PyVISA), a library finds the others beside it.
    ! ldd "$so" | grep -q 'not found' || fail "lib$name.so does not find its libraries: $(ldd "$so")"
done

# The installed programs load the installed libraries, not the build tree's.
for program in dmmpanel dmmlog visaquery dmmgadget; do
    loaded=$(ldd "$prefix/bin/$program")
    for name in dmmvisa dmmsim; do
        grep -Eq "lib$name\.so.* => $prefix/(bin/\.\./)?$libdir/" <<<"$loaded" || fail "$program does not load lib$name from $prefix/$libdir"
    done
done

listed=$("$prefix/bin/visaquery" --list)
[ "$listed" = "USB0::0x28E9::0x0285::KM4473N-SIM::INSTR" ] || fail "visaquery --list printed '$listed'"

# The logger needs no display: nothing it loads, its libraries' libraries
# included, is a widget or GUI module.
gui=$(ldd "$prefix/bin/dmmlog" | grep -E 'libQt5(Widgets|Gui)') && fail "dmmlog loads $gui"
logged=$("$prefix/bin/dmmlog" --samples 3)
[ "$(grep -c '^[0-9]' <<<"$logged")" -eq 3 ] && [[ $(tail -n 1 <<<"$logged") == "# Closed: "*"; 3 readings" ]] \
    || fail "dmmlog --samples 3 printed '$logged'"

# dmmpanel shows its window, then is asked to end as a desktop session asks
# it: it must close the window (writing its settings) and exit with 0.
source "$(dirname "$0")/closeonterm.sh"
status=0
close_on_term "$prefix/bin/dmmpanel" "$prefix/bin/dmmpanel" || status=$?
[ "$status" -ne 124 ] || fail "dmmpanel never got ready to close on SIGTERM"
[ "$status" -eq 0 ] || fail "dmmpanel exited with $status after SIGTERM"
[ -f "$prefix/bin/options.xml" ] || fail "dmmpanel did not write its settings beside the installed program"
echo "PASS: installed into $prefix and ran from there"
