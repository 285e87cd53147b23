#!/usr/bin/env bash
# package-test.sh DMMLOG_DEB DMMPANEL_DEB: checks the built packages. lintian
# must pass (errors and warnings); then a clean Debian 12 root is made from
# Debian's packages under build/package-test/, dmmlog is installed into it
# with apt alone first (no widget, GUI or X11 library may come with it) and
# its programs are run there, then dmmpanel (tests/package/in-root.sh); the
# udev rule is checked, and both are purged, leaving nothing behind.
# Exit status: 0 passed, 1 failed, 77 the root cannot be made here (the
# reason on a line "package-test: SKIPPED: ...").
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 2 ] || { echo "usage: package-test.sh DMMLOG_DEB DMMPANEL_DEB" >&2; exit 2; }
logger_deb=$(readlink -f "$1")
window_deb=$(readlink -f "$2")
work=$PWD/build/package-test
# The base root's name carries what it is made of, so that a change here
# never reuses an older one.
base_packages=man-db
base=$work/bookworm-apt-$base_packages.tar
root=$work/root
started=$SECONDS

skip() {
    echo "package-test: SKIPPED: $*"
    exit 77
}
fail() {
    echo "package-test: FAIL: $*" >&2
    exit 1
}

bash scripts/install-deps.sh lintian appstream desktop-file-utils
# Running as root is what CI does; lintian only remarks on it.
status=0
findings=$(lintian --fail-on error,warning --display-info "$logger_deb" "$window_deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$findings" || true
[ "$status" -eq 0 ] || fail "lintian found errors or warnings in ${logger_deb##*/} or ${window_deb##*/}"
echo "package-test: lintian passed"
# What software centres and menus read, checked by their own validators.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$window_deb" "$unpacked"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml ||
    fail "the AppStream metainfo is not valid"
desktop-file-validate "$unpacked"/usr/share/applications/*.desktop || fail "the desktop entry is not valid"
echo "package-test: the AppStream metainfo and the desktop entry are valid"

[ "${PACKAGE_ROOT_TEST:-1}" != 0 ] || skip "PACKAGE_ROOT_TEST=0"
[ "$(id -u)" -eq 0 ] || skip "making a Debian root and chrooting into it needs root"
bash scripts/install-deps.sh mmdebstrap >/dev/null 2>&1 || skip "mmdebstrap cannot be installed"

# The base root (essential packages, apt, man-db) is kept for a week: it is
# only ever unpacked into a fresh folder, apt updates its lists before
# installing, and a root older than that is made anew.
if [ -z "$(find "$base" -mtime -7 2>/dev/null)" ]; then
    # The Debian mirror this machine's apt uses, else Debian's own.
    mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 2>/dev/null |
        sed -n 's| bookworm$||p' | head -n 1)
    mirror=${mirror:-http://deb.debian.org/debian/}
    echo "package-test: making a Debian 12 root from $mirror"
    mkdir -p "$work"
    rm -f "$base" "$base.part"
    nice -n 10 timeout 900 mmdebstrap --quiet --mode=root --format=tar --variant=apt --include=$base_packages \
        bookworm "$base.part" "$mirror" >"$work/mmdebstrap.log" 2>&1 || {
        tail -n 5 "$work/mmdebstrap.log"
        skip "no Debian 12 root could be made from $mirror (see $work/mmdebstrap.log)"
    }
    mv "$base.part" "$base"
fi

rm -rf "$root"
mkdir -p "$root"
tar -C "$root" --numeric-owner -xpf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$logger_deb" "$window_deb" tests/package/in-root.sh tests/install/closeonterm.sh "$root/var/tmp/"
# A mount namespace of its own, so that /proc in the root goes with it.
in_root() {
    timeout 600 unshare --mount --pid --fork --mount-proc="$root/proc" \
        chroot "$root" /bin/bash /var/tmp/in-root.sh "$@"
}
in_root install-logger "/var/tmp/${logger_deb##*/}" || fail "the installed dmmlog package does not work"
in_root install-window "/var/tmp/${window_deb##*/}" || fail "the installed dmmpanel package does not work"

rule=$root/usr/lib/udev/rules.d/70-dmmpanel-meter.rules
[ -f "$rule" ] || fail "the udev rule is not installed"
if udevadm verify --help >/dev/null 2>&1; then
    udevadm verify --no-summary "$rule" || fail "udevadm verify rejects the udev rule"
    echo "package-test: udevadm verify accepts the udev rule"
else
    python3 tests/package/udevrules.py "$rule" || fail "the udev rule has syntax errors"
    echo "package-test: the udev rule passes the syntax check (no udevadm verify here)"
fi

in_root purge || fail "purging the packages"
rm -rf "$root"
echo "package-test: passed in $((SECONDS - started)) s"
