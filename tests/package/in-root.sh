#!/bin/bash
# Run inside the clean Debian root (as root, /proc mounted) by
# scripts/package-test.sh, in this order:
#   in-root.sh install-logger DEB: apt installs dmmlog alone, which must bring
#            no widget, GUI or X11 library; its programs run as a user would;
#   in-root.sh install-window DEB: apt installs dmmpanel beside it, and the
#            window starts;
#   in-root.sh purge: apt purges both and nothing of them may be left.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin
files=/var/tmp/dmmpanel.files
simulated=USB0::0x28E9::0x0285::KM4473N-SIM::INSTR

fail() {
    echo "package-test: FAIL: $*" >&2
    exit 1
}
step() {
    echo "package-test: $*"
}
# As the lab's user, not root: the programs' folder is not theirs to write.
# Each step execs the next, so the program keeps the process id.
as_user=(setpriv --reuid=lab --regid=lab --init-groups --reset-env)
simulated_user=("${as_user[@]}" env QT_QPA_PLATFORM=offscreen DMMPANEL_SIMULATOR=1)

# Recommends (LibreOffice) are left out: the programs run without them.
install_package() { # DEB PACKAGE
    apt-get install -y -qq --no-install-recommends "$1" >/var/tmp/install.log 2>&1 ||
        { tail -n 30 /var/tmp/install.log >&2; fail "apt-get install $1"; }
    step "installed: $(dpkg-query -W -f '${Package} ${Version}, ${Installed-Size} KiB' "$2")"
    dpkg -L "$2" | grep -vx /. >>"$files"
}

# Every program in /usr/bin that the package brought has its manual page.
pages_found() { # PACKAGE
    local programs
    mapfile -t programs < <(dpkg -L "$1" | sed -n 's|^/usr/bin/||p')
    pages=$(man -w "${programs[@]}") || fail "man -w ${programs[*]} found not every page"
    step "man -w ${programs[*]}: $(tr '\n' ' ' <<<"$pages")"
}

install_logger() {
    apt-get update -qq
    : >"$files"
    install_package "$1" dmmlog
    local gui
    # dpkg-query fails for a package it never heard of, as these should be.
    gui=$({ dpkg-query -W -f '${db:Status-Status} ${Package}\n' libqt5widgets5 libqt5gui5 libx11-6 2>/dev/null || true; } |
        sed -n 's/^installed //p' | tr '\n' ' ')
    [ -z "$gui" ] || fail "dmmlog brought $gui"
    step "dmmlog alone brought no libqt5widgets5, libqt5gui5 or libx11-6"
    useradd --create-home lab

    listed=$("${simulated_user[@]}" visaquery --list)
    [ "$listed" = "$simulated" ] || fail "visaquery --list with the simulated meter printed '$listed'"
    listed=$("${as_user[@]}" visaquery --list 2>&1) || true
    [[ $listed != *SIM* ]] || fail "without DMMPANEL_SIMULATOR the simulated meter is listed: $listed"
    step "visaquery --list lists the simulated meter, and only when DMMPANEL_SIMULATOR=1"
    reading=$("${simulated_user[@]}" visaquery SYSTem:REMote 'Fetch?' SYSTem:LOCal)
    [[ $reading =~ ^[-+0-9.E]+(,[-+0-9.E]+){3}$ ]] || fail "visaquery 'Fetch?' printed '$reading'"
    step "visaquery reads the simulated meter: $reading"

    # The window's driver without the window: readings from the simulated meter.
    readings=$("${simulated_user[@]}" timeout 120 dmmlog --samples 5) || fail "dmmlog --samples 5 failed"
    [ "$(grep -c '^[0-9]' <<<"$readings")" -eq 5 ] && [[ $(tail -n 1 <<<"$readings") == "# Closed: "*"; 5 readings" ]] ||
        fail "dmmlog --samples 5 printed: $readings"
    step "dmmlog --samples 5 through the driver:"
    sed 's/^/    /' <<<"$readings"
    [ -f /usr/lib/systemd/system/dmmlog.service ] || fail "dmmlog.service is not installed as a unit"
    pages_found dmmlog
}

install_window() {
    install_package "$1" dmmpanel
    source /var/tmp/closeonterm.sh
    status=0
    close_on_term /usr/bin/dmmpanel "${simulated_user[@]}" dmmpanel || status=$?
    [ "$status" -eq 0 ] || fail "dmmpanel (offscreen, simulated meter) ended with $status after SIGTERM"
    [ -f /home/lab/.config/dmmpanel/options.xml ] || fail "dmmpanel did not write ~/.config/dmmpanel/options.xml"
    step "dmmpanel starts offscreen, closes on SIGTERM and keeps its settings in ~/.config/dmmpanel"
    pages_found dmmpanel
}

purge() {
    local status package
    apt-get purge -y -qq dmmpanel dmmlog >/var/tmp/purge.log 2>&1 || { cat /var/tmp/purge.log >&2; fail "apt-get purge"; }
    for package in dmmpanel dmmlog; do
        status=$(dpkg-query -W -f '${db:Status-Status}' "$package" 2>/dev/null) || true
        [[ $status == "" || $status == not-installed ]] || fail "$package is still $status after the purge"
    done
    # What is still there must belong to another package (a shared folder).
    local left=()
    while read -r path; do
        [ -e "$path" ] || [ -L "$path" ] || continue
        dpkg -S "$path" >/dev/null 2>&1 || left+=("$path")
    done <"$files"
    [ ${#left[@]} -eq 0 ] || fail "apt-get purge left behind: ${left[*]}"
    step "apt-get purge leaves none of the packages' $(wc -l <"$files") paths behind"
}

case $1 in
install-logger) install_logger "$2" ;;
install-window) install_window "$2" ;;
purge) purge ;;
*) fail "usage: in-root.sh install-logger DEB | install-window DEB | purge" ;;
esac
