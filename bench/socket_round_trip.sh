#!/bin/sh
# Query round trips (*IDN?) on qxsim's pseudo-terminal directly, and on the same kind of line
# through qxgate's raw SCPI socket (our client, pyvisa-py, lxi-tools) and its VXI-11 door, on
# loopback inside a private network namespace with its own rpcbind (needs root):
#   bench/socket_round_trip.sh [--busy] [BUILD_DIR]   (default build/default)
# --busy keeps two busy loops running meanwhile, to see the figures under load.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
busy=0
[ "${1:-}" = --busy ] && { busy=1; shift; }
build=$(cd "${1:-$root/build/default}" && pwd)
exec "$root/tests/vxi11/with_rpcbind.sh" sh -eu -c '
build=$1 busy=$2
work=$(mktemp -d)
pids=""
hogs=""
trap "kill \$pids \$hogs 2>/dev/null; rm -rf $work" EXIT
# Starts a program and waits (up to 5 s) for the line it prints once it serves.
start() {
    "$@" >"$work/out" & pids="$pids $!"
    i=0
    until [ -s "$work/out" ]; do
        i=$((i + 1)); [ $i -le 100 ] || { echo "$1 did not start" >&2; exit 1; }
        sleep 0.05
    done
    rm "$work/out"
}
# Two simulators, since a serial line has one user: one for the client, one behind the gateway.
start "$build/sim/qxsim" --pty "$work/direct"
start "$build/sim/qxsim" --pty "$work/gated"
start "$build/gate/qxgate" --no-mdns --serve "gpib0,5=ASRL$work/gated::INSTR,socket=5025"
if [ "$busy" = 1 ]; then
    for _ in 1 2; do sh -c "while :; do :; done" & hogs="$hogs $!"; done
fi
echo "# $(date -u +%FT%TZ) $([ "$busy" = 1 ] && echo busy || echo quiet), $(nproc) cores, loadavg $(cut -d" " -f1-3 /proc/loadavg)"
"$build/bench/qx_vxi11_bench" "ASRL$work/direct::INSTR" "TCPIP::127.0.0.1::5025::SOCKET" \
    "TCPIP::127.0.0.1::gpib0,5::INSTR"
/usr/bin/python3 - <<PY
import time, pyvisa
instrument = pyvisa.ResourceManager("@py").open_resource("TCPIP::127.0.0.1::5025::SOCKET", read_termination="\n")
for _ in range(200):
    instrument.query("*IDN?")
n = 3000
start = time.perf_counter()
for _ in range(n):
    instrument.query("*IDN?")
print(f"query TCPIP::127.0.0.1::5025::SOCKET (pyvisa-py) {1e6 * (time.perf_counter() - start) / n:.1f} us")
PY
echo "lxi benchmark --raw, 3000 *IDN?: $(lxi benchmark --raw -a 127.0.0.1 -p 5025 -c 3000 | grep -o "Result: .*")"
' socket_round_trip "$build" "$busy"
