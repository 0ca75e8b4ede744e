# Sourced by the run and test scripts: makes sure the Debian packages they need are installed.
# As root it installs them with apt-get (waiting for a concurrent apt run instead of failing);
# otherwise it prints the exact command to run and stops.

QX_BUILD_PACKAGES="build-essential cmake ninja-build pkg-config ccache qt6-base-dev qt6-charts-dev libqt6opengl6-dev nlohmann-json3-dev libcli11-dev libsqlite3-dev libtirpc-dev rpcsvc-proto libcpp-httplib-dev libssl-dev libsodium-dev libavahi-client-dev libpq-dev"
QX_TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev python3 python3-pytest python3-pyvisa-py python3-serial xvfb xauth openbox rpcbind iproute2 mount netbase liblxi-dev lxi-tools netcat-openbsd dbus-daemon avahi-daemon avahi-utils python3-zeroconf libxml2-utils chromium chromium-driver python3-selenium openssl postgresql-15 poppler-utils"
# Building and checking the Debian packages (CPack finds binaries with file, lintian checks them).
QX_PACKAGE_PACKAGES="file lintian"
# clang-14 with the libFuzzer and sanitizer runtimes, and llvm-symbolizer for readable stacks.
QX_FUZZ_PACKAGES="clang-14 libclang-rt-14-dev llvm-14"

qx_missing_packages() {
    local pkg missing=""
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing="$missing $pkg"
    done
    echo "$missing"
}

qx_ensure_packages() {
    local missing
    missing=$(qx_missing_packages "$@")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "These Debian packages are missing. Install them, then run this command again:" >&2
        echo "  sudo apt-get install -y$missing" >&2
        exit 1
    fi
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get -o DPkg::Lock::Timeout=600 update -qq &&
        apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends $missing ||
        { echo "apt-get failed" >&2; exit 1; }
}
