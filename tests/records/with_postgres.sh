#!/usr/bin/env bash
# Runs a command with a PostgreSQL server of its own: initdb into a temporary folder (as nobody
# when run as root: initdb refuses root), listening on a Unix socket only, with a database "lab"
# whose URI is in QX_TEST_POSTGRES_URI. The server is stopped and its folder removed afterwards.
set -euo pipefail
bin=$(dirname "$(ls /usr/lib/postgresql/*/bin/initdb | sort -V | tail -n 1)")
folder=$(mktemp -d /tmp/qx-pg-XXXXXX) # short: a socket's path has a bound
as_server=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$folder"
    as_server=(runuser -u nobody --)
fi
stop() {
    "${as_server[@]}" "$bin/pg_ctl" -D "$folder/data" -m immediate -w -t 60 stop >/dev/null 2>&1 || true
    rm -rf "$folder"
}
trap stop EXIT
"${as_server[@]}" mkdir "$folder/socket"
"${as_server[@]}" "$bin/initdb" -U qx -A trust -E UTF8 --locale=C --no-sync -D "$folder/data" >/dev/null
"${as_server[@]}" "$bin/pg_ctl" -D "$folder/data" -l "$folder/log" -w -t 60 \
    -o "-k $folder/socket -c listen_addresses='' -F" start >/dev/null
"$bin/createdb" -h "$folder/socket" -U qx lab
export QX_TEST_POSTGRES_URI="postgresql:///lab?host=$folder/socket&user=qx"
"$@"
