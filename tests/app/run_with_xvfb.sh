#!/bin/sh
# Runs a program on a fresh Xvfb display of its own and returns its exit status.
# Fails when Xvfb is not installed: scripts/deps.sh installs it.
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
DISPLAY=":$(head -n 1 "$displayfile")" QT_QPA_PLATFORM=xcb "$@"
