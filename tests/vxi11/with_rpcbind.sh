#!/bin/sh
# Runs a command inside a private network and mount namespace: loopback up, a private /run, and
# rpcbind (the real portmapper) serving it. Nothing leaves the namespace; nothing is left behind.
# Needs root (CAP_SYS_ADMIN) for unshare.
#   with_rpcbind.sh COMMAND [ARGS...]
#
# unshare makes every mount private by default, which fails in a chroot (its root is no mount
# point); there the mounts are taken as they are, and the tmpfs on /run is made only when none of
# them would carry it back to the parent namespace.
propagation=""
unshare -n -m true 2>/dev/null || propagation="--propagation unchanged"
exec unshare -n -m $propagation sh -c '
set -u
if grep -q " shared:" /proc/self/mountinfo; then
    echo "with_rpcbind: shared mounts would carry /run out of the namespace" >&2
    exit 1
fi
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
