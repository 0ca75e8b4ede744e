#!/bin/sh
# Query round trips over the LAN, on loopback inside a private network namespace with its own
# rpcbind (needs root):
#   1. qxsim's pseudo-terminal directly, and the same line through qxgate (the gateway's cost);
#   2. qxsim --vxi11 for our client and for pyvisa-py.
#   bench/lan_round_trip.sh [BUILD_DIR]   (default build/default)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
exec "$root/tests/vxi11/with_rpcbind.sh" sh -eu -c '
build=$1
work=$(mktemp -d)
pids=""
trap "kill \$pids 2>/dev/null; rm -rf $work" EXIT
start() { "$@" >/dev/null & pids="$pids $!"; }
# Two simulators, since a serial line has one user: one for the client, one behind the gateway.
start "$build/sim/qxsim" --pty "$work/direct"
start "$build/sim/qxsim" --pty "$work/gated"
sleep 0.3
start "$build/gate/qxgate" --listen 127.0.0.1 --serve "gpib0,5=ASRL$work/gated::INSTR"
sleep 0.3
echo "== direct on the pty, and through qxgate"
"$build/bench/qx_vxi11_bench" "ASRL$work/direct::INSTR" "TCPIP::127.0.0.1::gpib0,5::INSTR"
kill $pids
pids=""
start "$build/sim/qxsim" --vxi11
sleep 0.3
echo "== qxsim --vxi11: our client"
"$build/bench/qx_vxi11_bench" "TCPIP::127.0.0.1::inst0::INSTR"
echo "== qxsim --vxi11: pyvisa-py"
/usr/bin/python3 - <<PY
import time, pyvisa
instrument = pyvisa.ResourceManager("@py").open_resource("TCPIP::127.0.0.1::inst0::INSTR", write_termination="")
for _ in range(200):
    instrument.query("*IDN?")
n = 3000
start = time.perf_counter()
for _ in range(n):
    instrument.query("*IDN?")
print(f"query TCPIP::127.0.0.1::inst0::INSTR (pyvisa-py) {1e6 * (time.perf_counter() - start) / n:.1f} us")
PY
' lan_round_trip "$build"
