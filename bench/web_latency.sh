#!/bin/sh
# The live page's update latency (web_latency.py) with 1 and with 20 pages open: qxsim's
# pseudo-terminal served by qxgate as a QX source with its web face, on loopback inside a private
# network namespace with its own rpcbind (needs root).
#   bench/web_latency.sh [--busy] [--changes N] [BUILD_DIR]   (default build/default)
# --busy (or BUSY=1) keeps two busy loops running meanwhile, to see the figures under load.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
busy=${BUSY:-0}
changes=20
while [ $# -gt 0 ]; do
    case $1 in
    --busy) busy=1; shift ;;
    --changes) changes=$2; shift 2 ;;
    -h|--help) sed -n '2,6s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "web_latency: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
build=$(cd "${1:-$root/build/default}" && pwd)
exec "$root/tests/vxi11/with_rpcbind.sh" sh -eu -c '
root=$1 build=$2 busy=$3 changes=$4
work=$(mktemp -d)
pids=""
hogs=""
trap "kill \$pids \$hogs 2>/dev/null; rm -rf $work" EXIT
trap "exit 130" INT TERM
"$build/sim/qxsim" --pty "$work/line" >"$work/sim" & pids="$pids $!"
i=0
until [ -s "$work/sim" ]; do i=$((i + 1)); [ $i -le 100 ] || exit 1; sleep 0.05; done
"$build/gate/qxgate" --no-mdns --serve "inst0=ASRL$work/line::INSTR,driver=qx70" --http 8080 >"$work/gate" & pids="$pids $!"
i=0
until [ -s "$work/gate" ]; do i=$((i + 1)); [ $i -le 200 ] || exit 1; sleep 0.05; done
if [ "$busy" = 1 ]; then
    for _ in 1 2; do sh -c "while :; do :; done" & hogs="$hogs $!"; done
fi
load="busy"; [ "$busy" = 1 ] || load="quiet"
echo "# $(date -u +%FT%TZ) $load, loadavg $(cut -d" " -f1-3 /proc/loadavg), build $build"
for clients in 1 20; do
    timeout -k 5 $((changes * 20 + 30)) /usr/bin/python3 "$root/bench/web_latency.py" http://127.0.0.1:8080 inst0 \
        TCPIP::127.0.0.1::inst0::INSTR --clients $clients --changes "$changes" --label "qxgate web ($load)" ||
        echo "# web_latency.py exited with $?"
done
' web_latency "$root" "$build" "$busy" "$changes"
