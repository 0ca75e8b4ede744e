#!/bin/sh
# One instrument shared by many unlocked pyvisa-py clients, each asking its own query (see
# shared_clients.py), on loopback inside a private network namespace with its own rpcbind (needs
# root):
#   1. qxsim's pseudo-terminal served by qxgate as inst0;
#   2. qxsim --vxi11 directly.
#   bench/shared_instrument.sh [--busy] [--clients N] [--seconds N] [BUILD_DIR]   (default build/default)
# --busy (or BUSY=1) keeps two busy loops running meanwhile, to see the figures under load.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
busy=${BUSY:-0}
clients=8
seconds=20
while [ $# -gt 0 ]; do
    case $1 in
    --busy) busy=1; shift ;;
    --clients) clients=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;  # whole seconds
    -h|--help) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "shared_instrument: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
build=$(cd "${1:-$root/build/default}" && pwd)
[ "$busy" = 1 ] || busy=0
exec "$root/tests/vxi11/with_rpcbind.sh" sh -eu -c '
root=$1 build=$2 busy=$3 clients=$4 seconds=$5
work=$(mktemp -d)
pids=""
hogs=""
trap "kill \$pids \$hogs 2>/dev/null; rm -rf $work" EXIT
trap "exit 130" INT TERM
n=0
# Starts a server and waits (up to 5 s) for the line it prints once it serves.
start() {
    n=$((n + 1))
    "$@" >"$work/out$n" & pids="$pids $!"
    i=0
    until [ -s "$work/out$n" ]; do
        i=$((i + 1)); [ $i -le 100 ] || { echo "$1 did not start" >&2; exit 1; }
        sleep 0.05
    done
}
stop() { kill $pids 2>/dev/null || true; for p in $pids; do wait $p 2>/dev/null || true; done; pids=""; }
# Pass --listen where qxgate takes it: keep the gateway on loopback.
listen=""
"$build/gate/qxgate" --help 2>&1 | grep -q -- --listen && listen="--listen 127.0.0.1"
if [ "$busy" = 1 ]; then
    for _ in 1 2; do sh -c "while :; do :; done" & hogs="$hogs $!"; done
fi
load="busy"; [ "$busy" = 1 ] || load="quiet"
run() {
    echo "# $(date -u +%FT%TZ) $load, loadavg $(cut -d" " -f1-3 /proc/loadavg), build $build"
    timeout -k 5 $((seconds + 40)) /usr/bin/python3 "$root/bench/shared_clients.py" "$@" \
        --clients "$clients" --seconds "$seconds" || echo "# shared_clients.py exited with $?"
    echo "# loadavg after $(cut -d" " -f1-3 /proc/loadavg)"
}
start "$build/sim/qxsim" --pty "$work/line"
start "$build/gate/qxgate" $listen --serve "inst0=ASRL$work/line::INSTR"
run TCPIP::127.0.0.1::inst0::INSTR --label "qxgate->pty ($load)"
stop
start "$build/sim/qxsim" --vxi11
run TCPIP::127.0.0.1::inst0::INSTR --label "qxsim --vxi11 ($load)"
stop
' shared_instrument "$root" "$build" "$busy" "$clients" "$seconds"
