#!/bin/sh
# Runs a program on a fresh Xvfb display of its own and returns its exit status; with
# QX_XVFB_WM=openbox, under that window manager (started and managing before the program runs).
# Fails when Xvfb (or the window manager) is not installed: scripts/deps.sh installs them.
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is not installed (Debian package xvfb)"; exit 1; }
displayfile=$(mktemp) || exit 1
# -displayfd picks a free display and writes its number once the server accepts clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -f "$displayfile"' EXIT
tries=0
while [ ! -s "$displayfile" ]; do
    { kill -0 "$xvfb" 2>/dev/null && [ "$tries" -lt 100 ]; } || { echo "Xvfb did not start"; exit 1; }
    sleep 0.1
    tries=$((tries + 1))
done
DISPLAY=":$(head -n 1 "$displayfile")"
export DISPLAY
if [ -n "${QX_XVFB_WM:-}" ]; then
    command -v "$QX_XVFB_WM" >/dev/null 2>&1 || { echo "$QX_XVFB_WM is not installed"; exit 1; }
    managing=$(mktemp -u)
    "$QX_XVFB_WM" --startup "touch $managing" >/dev/null 2>&1 &
    wm=$!
    trap 'kill "$wm" "$xvfb" 2>/dev/null; wait 2>/dev/null; rm -f "$displayfile" "$managing"' EXIT
    tries=0
    while [ ! -e "$managing" ]; do
        { kill -0 "$wm" 2>/dev/null && [ "$tries" -lt 100 ]; } || { echo "$QX_XVFB_WM did not start"; exit 1; }
        sleep 0.1
        tries=$((tries + 1))
    done
fi
QT_QPA_PLATFORM=xcb "$@"
