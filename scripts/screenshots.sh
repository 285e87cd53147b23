#!/usr/bin/env bash
# Takes the user manual's screenshots (doc/images/*.png) from the real window
# on a virtual X display, driving it with xdotool against the simulated meter:
#     bash scripts/screenshots.sh [BUILD_DIR]     (default build/screenshots)
# Installs Xvfb, xdotool and ImageMagick where missing. The clicks are at
# fixed places in the window, which has a fixed size on this display: after a
# change to the window's layout, look at the pictures and move the places.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/screenshots}
out=$root/doc/images

bash scripts/install-deps.sh xvfb xdotool imagemagick fonts-dejavu-core
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDMMPANEL_BUILD_TESTS=OFF -DDMMPANEL_BUILD_BENCH=OFF -DDMMPANEL_BUILD_FUZZ=OFF >/dev/null
cmake --build "$build" --target dmmpanel -j "$(nproc)" >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and tells it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for ((i = 0; i < 100; ++i)); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR QT_AUTO_SCREEN_SCALE_FACTOR

window=
# start_program NAME_OF_LOG [ENV...]: a fresh program (no options.xml, so the
# window has its first-start size and place) in a copy of the build's bin/.
start_program() {
    local log=$1; shift
    rm -rf "$work/bin" && cp -a "$build/bin" "$work/bin" && rm -f "$work/bin/options.xml"
    (cd "$work" && env "$@" "$work/bin/dmmpanel" >"$work/$log.log" 2>&1) &
    pids+=($!)
    window=$(xdotool search --sync --onlyvisible --name 'KM4473N/KM4475N' | head -1)
    sleep 1
}
# click X Y: a left click at X,Y in the main window.
click() {
    xdotool mousemove --window "$window" "$1" "$2" click 1
    xdotool mousemove 1279 1023 # no hover highlight in the pictures
    sleep "${3:-0.5}"
}
# shot NAME [WINDOW]: saves the main window (or WINDOW) as NAME.png, in 256 colours.
shot() {
    import -window "${2:-$window}" "$work/shot.png"
    convert "$work/shot.png" -strip -dither None -colors 256 "PNG8:$out/$1.png"
    echo "doc/images/$1.png"
}
# dialog TITLE: the window id of the dialog of that title, once it is shown.
dialog() {
    xdotool search --sync --onlyvisible --name "^$1\$" | head -1
}

# crop NAME X Y WIDTH HEIGHT: a part of the last picture taken, as NAME.png.
crop() {
    convert "$work/shot.png" -crop "$4x$5+$2+$3" +repage -strip -dither None -colors 256 "PNG8:$out/$1.png"
    echo "doc/images/$1.png"
}
# close_dialog ID: Escape in the dialog.
close_dialog() {
    xdotool windowfocus --sync "$1" key Escape
    sleep 0.5
}

mkdir -p "$out"

# --- A connect that fails: no meter, no simulated one.
start_program no-meter DMMPANEL_SIMULATOR=
click 47 25 0
box=$(xdotool search --sync --onlyvisible --classname dmmpanel | grep -vx "$window" | head -1)
sleep 0.5
shot connect-failed-box "$box"
xdotool windowfocus --sync "$box" key Return
sleep 0.5
shot connect-failed-window
crop connect-failed 0 480 1000 255
rm "$out/connect-failed-window.png"
click 970 25 1

# --- The simulated meter, with readings stored in its memory.
start_program simulated DMMPANEL_SIMULATOR=1 DMMPANEL_SIMULATOR_FAULTS=stored=1000
shot main-window
crop toolbar 0 0 1000 52
click 47 25 4
shot connected
crop live-display 10 62 398 170
crop control-panel 10 232 398 380
crop status-bar 0 710 640 25

# Recording into the first measurement item.
click 197 25 12
click 245 25 1
shot recording
click 540 78 2
shot chart
click 462 78 0.5

# Hold and its settings.
click 160 476 1
click 223 476 0
hold=$(dialog "Hold Settings")
sleep 0.5
shot hold-settings "$hold"
close_dialog "$hold"
click 160 476 1

# Options.
click 370 25 0
options=$(dialog Options)
sleep 0.5
shot options "$options"
close_dialog "$options"

# The meter's memory: delete dialog, then the upload into Store Data.
click 257 590 0
delete=$(dialog "Delete Stored Data")
sleep 0.5
shot delete-stored "$delete"
close_dialog "$delete"
click 353 590 0
download=$(dialog "Downloading...")
sleep 2
shot downloading "$download"
while xdotool search --onlyvisible --name '^Downloading...$' >/dev/null 2>&1; do sleep 0.5; done
sleep 1
shot store-data

# Export.
click 306 25 1
export_dialog=$(xdotool search --onlyvisible --classname dmmpanel | grep -vx "$window" | head -1 || true)
if [ -n "$export_dialog" ]; then
    shot export "$export_dialog"
    close_dialog "$export_dialog"
else
    echo "no export dialog came up: doc/images/export.png is left as it was" >&2
fi

click 970 25 1

# --- A recording cut short by a crash, offered back at the next start.
start_program crashed DMMPANEL_SIMULATOR=1 XDG_DATA_HOME="$work/data"
click 47 25 4
click 197 25 8
kill -9 "$(xdotool getwindowpid "$window")"
sleep 1
start_program restored DMMPANEL_SIMULATOR=1 XDG_DATA_HOME="$work/data"
restore=$(dialog "Restore recordings")
sleep 0.5
shot restore-dialog "$restore"
xdotool windowfocus --sync "$restore" key Return
sleep 1
shot restored
click 540 78 2
shot restored-chart
click 970 25 1
