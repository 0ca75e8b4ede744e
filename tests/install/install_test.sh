#!/usr/bin/env bash
# Installs the build tree into a fresh prefix and uses it as a user would, with nothing from the
# source tree: a C project built with find_package (CMAKE_PREFIX_PATH only) and with pkg-config
# (PKG_CONFIG_PATH only), both run against the installed qxsim; the installed qxctl with
# --simulate; the installed Python module.
# Usage: install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR
set -euo pipefail
build=$1 consumer=$2
work=$(mktemp -d /tmp/qx_install_XXXXXX)
sim_pid=
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libzev_qx70.so.1)")

# The installed simulator on a pseudo-terminal, as the instrument of both consumers.
"$prefix/bin/qxsim" --model 7101QX --voltage-limit 250 --pty "$work/tty" >"$work/ready" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/ready" ] && break; sleep 0.1; done
grep -q '^qxsim: ' "$work/ready"
resource="ASRL$work/tty::INSTR"

cmake -S "$consumer" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
[ "$("$work/cmake/consumer" "$resource")" = "7101QX 250" ]

PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
# shellcheck disable=SC2046 # the flags are separate words
cc -std=c11 -Wall -Werror -o "$work/consumer-pc" "$consumer/consumer.c" $(pkg-config --cflags --libs zev_qx70)
[ "$(LD_LIBRARY_PATH=$libdir "$work/consumer-pc" "$resource")" = "7101QX 250" ]
if LD_LIBRARY_PATH=$libdir "$work/consumer-pc" GPIB0::5::FOO 2>"$work/error"; then exit 1; fi
grep -q "^consumer: Invalid resource reference specified" "$work/error"

[ "$(QXSIM= "$prefix/bin/qxctl" --simulate=7103QX get frequency)" = 50 ]

[ "$(LD_LIBRARY_PATH=$libdir PYTHONPATH=$prefix/lib/python3/dist-packages /usr/bin/python3 -c \
    "import qx70; print(qx70.Source('$resource').identify().model)")" = 7101QX ]
echo "install test passed"
