#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing dmmpanel need.
# Idempotent: installs only what is missing. Run as root (or with sudo).
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qtbase5-dev qtbase5-dev-tools qttools5-dev-tools
    clang libclang-rt-14-dev
    python3-pyvisa
    # The USB VM's benchmark sets our VISA library against the pure-Python
    # backend, which reaches the meter through libusb.
    python3-pyvisa-py python3-usb
    # The spreadsheet export converts through LibreOffice Calc; its tests read
    # the .xls back with xlrd.
    libreoffice-calc-nogui python3-xlrd
    # Hot-plug of the meter is heard from the kernel through libudev.
    libudev-dev
    # The direct .xlsx export; its tests read the files back with openpyxl.
    libxlsxwriter-dev python3-openpyxl
    # The chart's pictures as SVG.
    libqt5svg5-dev
    # Forwarding readings: MQTT through libmosquitto, tested against a real
    # Mosquitto broker and a real InfluxDB 1.x that the tests start themselves.
    libmosquitto-dev mosquitto mosquitto-clients influxdb
    # Builds reuse what an earlier build of the same sources compiled.
    ccache
    # Limit alarms reach the desktop over D-Bus; their test starts a private session bus.
    dbus-daemon
)
# Extra packages a caller may ask for, e.g. xvfb for a real-window check.
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
