#!/bin/bash
# in-root.sh install DEB | in-root.sh purge: run inside the clean Debian root
# (as root, /proc mounted) by scripts/package-test.sh.
#   install: apt installs the package, then its programs are run as a user
#            would run them;
#   purge:   apt purges it and nothing of it may be left.
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

install_and_run() {
    local deb=$1
    apt-get update -qq
    # Recommends (LibreOffice) are left out: the program runs without them.
    apt-get install -y -qq --no-install-recommends "$deb" >/var/tmp/install.log 2>&1 ||
        { tail -n 30 /var/tmp/install.log >&2; fail "apt-get install $deb"; }
    step "installed: $(dpkg-query -W -f '${Package} ${Version}, ${Installed-Size} KiB' dmmpanel)"
    dpkg -L dmmpanel | grep -vx /. >"$files"
    useradd --create-home lab

    listed=$("${simulated_user[@]}" visaquery --list)
    [ "$listed" = "$simulated" ] || fail "visaquery --list with the simulated meter printed '$listed'"
    listed=$("${as_user[@]}" visaquery --list 2>&1) || true
    [[ $listed != *SIM* ]] || fail "without DMMPANEL_SIMULATOR the simulated meter is listed: $listed"
    step "visaquery --list lists the simulated meter, and only when DMMPANEL_SIMULATOR=1"
    reading=$("${simulated_user[@]}" visaquery SYSTem:REMote 'Fetch?' SYSTem:LOCal)
    [[ $reading =~ ^[-+0-9.E]+(,[-+0-9.E]+){3}$ ]] || fail "visaquery 'Fetch?' printed '$reading'"
    step "visaquery reads the simulated meter: $reading"

    source /var/tmp/closeonterm.sh
    status=0
    close_on_term /usr/bin/dmmpanel "${simulated_user[@]}" dmmpanel || status=$?
    [ "$status" -eq 0 ] || fail "dmmpanel (offscreen, simulated meter) ended with $status after SIGTERM"
    [ -f /home/lab/.config/dmmpanel/options.xml ] || fail "dmmpanel did not write ~/.config/dmmpanel/options.xml"
    step "dmmpanel starts offscreen, closes on SIGTERM and keeps its settings in ~/.config/dmmpanel"

    # The window's driver without the window: readings from the simulated meter.
    readings=$("${simulated_user[@]}" timeout 120 dmmlog --samples 5) || fail "dmmlog --samples 5 failed"
    [ "$(grep -c '^[0-9]' <<<"$readings")" -eq 5 ] && [[ $(tail -n 1 <<<"$readings") == "# Closed: "*"; 5 readings" ]] ||
        fail "dmmlog --samples 5 printed: $readings"
    step "dmmlog --samples 5 through the driver:"
    sed 's/^/    /' <<<"$readings"

    local programs
    mapfile -t programs < <(sed -n 's|^/usr/bin/||p' "$files")
    pages=$(man -w "${programs[@]}") || fail "man -w ${programs[*]} found not every page"
    step "man -w ${programs[*]}: $(tr '\n' ' ' <<<"$pages")"
}

purge() {
    local status
    apt-get purge -y -qq dmmpanel >/var/tmp/purge.log 2>&1 || { cat /var/tmp/purge.log >&2; fail "apt-get purge"; }
    status=$(dpkg-query -W -f '${db:Status-Status}' dmmpanel 2>/dev/null) || true
    [[ $status == "" || $status == not-installed ]] || fail "dmmpanel is still $status after the purge"
    # What is still there must belong to another package (a shared folder).
    local left=()
    while read -r path; do
        [ -e "$path" ] || [ -L "$path" ] || continue
        dpkg -S "$path" >/dev/null 2>&1 || left+=("$path")
    done <"$files"
    [ ${#left[@]} -eq 0 ] || fail "apt-get purge left behind: ${left[*]}"
    step "apt-get purge leaves none of the package's $(wc -l <"$files") paths behind"
}

case $1 in
install) install_and_run "$2" ;;
purge) purge ;;
*) fail "usage: in-root.sh install DEB | purge" ;;
esac
