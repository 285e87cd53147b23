#!/usr/bin/env bash
# Builds dmmpanel (installing whatever build packages are missing) and starts
# it against the simulated meter. Arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

# Checked first, so that nobody waits for a build that cannot be shown.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    cat >&2 <<'MSG'
dmmpanel is a desktop program and needs a graphical display, but neither
DISPLAY nor WAYLAND_DISPLAY is set. Run this script from a desktop session,
with X forwarding (ssh -X), or inside a virtual display:
    xvfb-run -a bash scripts/run.sh
MSG
    exit 2
fi

bash scripts/install-deps.sh

build=build/run
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDMMPANEL_BUILD_TESTS=OFF -DDMMPANEL_BUILD_BENCH=OFF -DDMMPANEL_BUILD_FUZZ=OFF
# Everything that is installed, so that `cmake --install build/run` works.
cmake --build "$build" -j "$(nproc)"

echo "Starting dmmpanel with the simulated meter (press Connect to link up)."
DMMPANEL_SIMULATOR=1 exec "$build/bin/dmmpanel" "$@"
