#!/bin/sh
# Runs a command inside a private network and mount namespace: loopback up, a private /run, and
# rpcbind (the real portmapper) serving it. Nothing leaves the namespace; nothing is left behind.
# Needs root (CAP_SYS_ADMIN) for unshare.
#   with_rpcbind.sh COMMAND [ARGS...]
exec unshare -n -m sh -c '
set -u
ip link set lo up || exit 1
mount -t tmpfs tmpfs /run || exit 1
mkdir -p /run/rpcbind
rpcbind -f &
rpcbind_pid=$!
tries=0
until rpcinfo -p 127.0.0.1 >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then echo "rpcbind did not start" >&2; kill $rpcbind_pid; exit 1; fi
    sleep 0.05
done
"$@"
rc=$?
kill $rpcbind_pid
wait $rpcbind_pid 2>/dev/null
exit $rc' with_rpcbind "$@"
