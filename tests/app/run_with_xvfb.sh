#!/bin/sh
# Runs a program on a fresh Xvfb display of its own and returns its exit status; with
# QX_XVFB_WM=openbox, under that window manager (started and managing before the program runs).
# Fails when Xvfb (or the window manager) is not installed: scripts/deps.sh installs them.

# Waits up to 10 s for the test "$2" (e.g. "-s FILE") while process $1 runs; else says $3 and fails.
wait_for() {
    pid=$1 condition=$2 what=$3 tries=0
    # shellcheck disable=SC2086 # the condition is words for test
    until test $condition; do
        { kill -0 "$pid" 2>/dev/null && [ "$tries" -lt 100 ]; } || { echo "$what did not start"; exit 1; }
        sleep 0.1
        tries=$((tries + 1))
    done
}

command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is not installed (Debian package xvfb)"; exit 1; }
displayfile=$(mktemp) || exit 1
managing=$(mktemp -u)
# Settings (window places, folders) of this run only.
XDG_CONFIG_HOME=$(mktemp -d) || exit 1
export XDG_CONFIG_HOME
pids=
trap 'kill $pids 2>/dev/null; wait 2>/dev/null; rm -rf "$displayfile" "$managing" "$XDG_CONFIG_HOME"' EXIT
# -displayfd picks a free display and writes its number once the server accepts clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayfile" 2>/dev/null &
pids=$!
wait_for "$!" "-s $displayfile" Xvfb
DISPLAY=":$(head -n 1 "$displayfile")"
export DISPLAY
if [ -n "${QX_XVFB_WM:-}" ]; then
    command -v "$QX_XVFB_WM" >/dev/null 2>&1 || { echo "$QX_XVFB_WM is not installed"; exit 1; }
    "$QX_XVFB_WM" --startup "touch $managing" >/dev/null 2>&1 &
    pids="$! $pids"
    wait_for "$!" "-e $managing" "$QX_XVFB_WM"
fi
QT_QPA_PLATFORM=xcb "$@"
