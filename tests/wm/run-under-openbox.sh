#!/usr/bin/env bash
# Runs a test program on a virtual X screen managed by openbox, as a user's desktop would run
# the viewer: real frames, placement, stacking and focus. Usage:
#   run-under-openbox.sh WIDTHxHEIGHT PROGRAM [ARGUMENTS...]
# Without Xvfb or openbox the program still runs, told why there is no window manager, and its
# tests skip with that reason.
set -u
size=$1
shift
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
# Text measured as on a plain desktop: 96 dpi, no scaling chosen by the environment.
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_FONT_DPI

missing=()
for tool in Xvfb openbox xprop; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    export KELVO_NO_WINDOW_MANAGER="not installed: ${missing[*]} (packages xvfb, openbox, x11-utils)"
    unset DISPLAY
    export QT_QPA_PLATFORM=offscreen
    echo "run-under-openbox: skipped: $KELVO_NO_WINDOW_MANAGER"
    exec "$@"
fi

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display itself and writes its number, so parallel runs never meet.
Xvfb -displayfd 3 -screen 0 "${size}x24" -dpi 96 -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    cat "$work/xvfb.log" >&2
    echo "run-under-openbox: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

# A configuration of openbox's defaults, without the user's or the system's own. On a loaded
# machine openbox has been seen to give up on a server that had only just started ("unable to
# open display"): it is given three tries.
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
for attempt in 1 2 3; do
    HOME="$work" XDG_CONFIG_HOME="$work/config" openbox --sm-disable >"$work/openbox.log" 2>&1 &
    wm_pid=$!
    for _ in $(seq 100); do
        wm_ready && break
        kill -0 "$wm_pid" 2>/dev/null || break
        sleep 0.1
    done
    wm_ready && break
    kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    wm_pid=""
    echo "run-under-openbox: openbox did not start (try $attempt of 3):" >&2
    cat "$work/openbox.log" >&2
    sleep 1
done
if ! wm_ready; then
    echo "run-under-openbox: openbox did not start" >&2
    exit 1
fi
export KELVO_WINDOW_MANAGER=openbox
"$@"
