"""qxgate's doors announced on mDNS/DNS-SD through Avahi, found by independent clients (avahi-browse,
lxi-tools, python3-zeroconf on another host) and by qxctl discover, beside VXI-11 broadcast.

Runs inside with_rpcbind.sh (as root): this namespace gets a system bus and an avahi-daemon of its
own on test_gate_lan's veth pair (10.9.0.1 here, 10.9.0.2 on the other host). The programs come
from the environment: QXSIM, QXGATE, QXCTL."""

import json
import os
import pathlib
import re
import socket
import subprocess
import sys
import time

import pytest

from test_gate_lan import peer  # noqa: F401 (a fixture)
from test_gate_sharing import RUN_LIMIT

BUS = """<busconfig><type>system</type><listen>unix:path=/run/dbus/system_bus_socket</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
</policy></busconfig>"""
AVAHI = """[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=qxa\n[wide-area]\nenable-wide-area=no
[publish]\npublish-hinfo=no\npublish-workstation=no\npublish-aaaa-on-ipv4=no\n"""
PUBLISHED = "qxgate: published \""
NO_BUS = {"DBUS_SYSTEM_BUS_ADDRESS": "unix:path=/nonexistent"}
TXT = ["txtvers=1", "Manufacturer=ZE", "Model=7103QX", "SerialNumber=SN000123", "FirmwareVersion=1.02"]
HOST = socket.gethostname().split(".")[0]
NAME = f"7103QX SN000123 on {HOST}"
TYPES = ["_scpi-raw._tcp", "_vxi-11._tcp", "_lxi._tcp", "_http._tcp"]
# Resolves every service of TYPES seen within 3 s: [type, name, addresses, port, TXT strings in order].
ZEROCONF = """
import json, sys, time, zeroconf
zc, seen = zeroconf.Zeroconf(interfaces=["10.9.0.2"]), set()
handler = lambda zeroconf, service_type, name, state_change: seen.add((service_type, name))
browsers = [zeroconf.ServiceBrowser(zc, t + ".local.", handlers=[handler]) for t in sys.argv[1:]]
time.sleep(3)
out = []
for t, name in sorted(seen):
    info, txt = zc.get_service_info(t, name, timeout=3000), []
    raw = info.text
    while raw:
        txt, raw = txt + [raw[1:1 + raw[0]].decode()], raw[1 + raw[0]:]
    out.append([t[:-7], name[:-len(t) - 1], info.parsed_addresses(), info.port, txt])
zc.close()
print(json.dumps(out))
"""


def wait_for(check, limit=10.0):
    deadline = time.monotonic() + limit
    while not check():
        assert time.monotonic() < deadline, "waited in vain"
        time.sleep(0.1)


def run(*command, env=None):
    return subprocess.run(command, capture_output=True, text=True, timeout=RUN_LIMIT, env={**os.environ, **(env or {})})


def stop(process):
    """Its exit status (0 for an orderly end)."""
    if process and process.poll() is None:
        process.terminate()
    return process and process.wait(timeout=10)


class Daemons:
    """A private system bus, and avahi-daemon on qxa while started."""

    def __init__(self, folder):
        self.avahi, self.conf = None, folder / "avahi.conf"
        self.conf.write_text(AVAHI)
        (folder / "bus.conf").write_text(BUS)
        os.makedirs("/run/dbus", exist_ok=True)
        pathlib.Path("/run/dbus/system_bus_socket").unlink(missing_ok=True)  # an earlier test's
        self.bus = subprocess.Popen(["dbus-daemon", f"--config-file={folder}/bus.conf", "--nofork", "--nopidfile"],
                                    stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists("/run/dbus/system_bus_socket"))

    def start_avahi(self):
        self.avahi = subprocess.Popen(["avahi-daemon", "-f", str(self.conf), "--no-drop-root", "--no-chroot",
                                       "--no-rlimits", "--no-proc-title"], stderr=subprocess.DEVNULL)
        wait_for(lambda: run("avahi-daemon", "-c").returncode == 0)


@pytest.fixture
def daemons(peer, tmp_path):  # noqa: F811 (the veth pair comes first)
    d = Daemons(tmp_path)
    d.start_avahi()
    yield d
    stop(d.avahi)
    stop(d.bus)


class Gate:
    def __init__(self, err, arguments, env):
        self.err = err
        options = [part for a in arguments for part in (["--serve", a] if "=" in a and a[:2] != "--" else [a])]
        with err.open("w") as sink:
            self.process = subprocess.Popen([os.environ["QXGATE"], "--allow", "10.9.0.0/24", *options], text=True,
                                            stdout=subprocess.PIPE, stderr=sink, env={**os.environ, **env})
        assert self.process.stdout.readline().startswith("qxgate: serving ")

    def said(self):
        return self.err.read_text()


@pytest.fixture
def gates(tmp_path):
    started = []

    def start(*arguments, env=None, published=1):
        started.append(Gate(tmp_path / f"gate{len(started)}.err", arguments, env or {}))
        wait_for(lambda: started[-1].said().count(PUBLISHED) >= published)
        return started[-1]

    yield start
    assert [stop(g.process) for g in started] == [0] * len(started)


def browse():
    """What avahi-browse resolves: {(type, name): (address, port, TXT in the order sent)}."""
    found = {}
    for line in run("avahi-browse", "-aprtk").stdout.splitlines():
        f = line.split(";")
        if f[0] == "=":
            name = re.sub(r"\\(\d{3})", lambda m: chr(int(m.group(1))), f[3])
            found[f[4], name] = (f[7], int(f[8]), re.findall(r'"((?:[^"\\]|\\.)*)"', f[9])[::-1])  # it lists them last first
    return found


def announced(device, socket_port=None):
    name = f"7103QX SN000123 ({device}) on {HOST}"
    doors = {("_vxi-11._tcp", name): ("10.9.0.1", 111, TXT + [f"device.qxseries.example.invalid={device}"]),
             ("_lxi._tcp", name): ("10.9.0.1", 8080, TXT), ("_http._tcp", name): ("10.9.0.1", 8080, ["txtvers=1", "path=/"])}
    return doors | ({("_scpi-raw._tcp", name): ("10.9.0.1", socket_port, TXT)} if socket_port else {})


def test_every_door_is_announced_and_found_by_independent_clients(simulator, peer, daemons, gates):  # noqa: F811
    sim = simulator()
    gates(f"inst0={sim.resource},socket=5025", f"gpib0,5={sim.resource}", "--http", "8080", published=2)
    expected = announced("inst0", socket_port=5025) | announced("gpib0,5")
    assert browse() == expected
    other = peer(sys.executable, "-c", ZEROCONF, *TYPES)
    assert other.returncode == 0, other.stderr
    assert {(t, n): (",".join(a), port, txt) for t, n, a, port, txt in json.loads(other.stdout)} == expected
    lxi = run("lxi", "discover", "-m", "-t", "2").stdout
    seen = re.findall(r'Found "(.+)" on address (\S+)\n +(\S+) service on port (\d+)', lxi)
    assert sorted(seen) == sorted((n, a, t[1:-5], str(p)) for (t, n), (a, p, _) in expected.items() if t != "_http._tcp")


def test_found_by_broadcast_and_by_qxctl_both_ways(simulator, peer, daemons, gates):  # noqa: F811
    sim = simulator()
    gates(f"inst0={sim.resource},socket=5025", f"gpib0,5={sim.resource}", published=2)
    assert 'Found "ZE,7103QX,SN000123,1.02" on address 10.9.0.1' in peer("lxi", "discover", "-t", "1").stdout
    here = run(os.environ["QXCTL"], "discover", "--json")
    assert here.returncode == 0 and here.stderr == "", here.stderr
    assert [(i["resources"], i["model"], i["serialNumber"], i["foundBy"]) for i in json.loads(here.stdout)] == [
        (["TCPIP::10.9.0.1::gpib0,5::INSTR"], "7103QX", "SN000123", ["mdns"]),
        (["TCPIP::10.9.0.1::inst0::INSTR", "TCPIP::10.9.0.1::5025::SOCKET"], "7103QX", "SN000123",
         ["vxi11-broadcast", "mdns"])]
    # The other host asks no Avahi daemon: the broadcast alone finds the gateway's inst0.
    there = peer("env", *[f"{k}={v}" for k, v in NO_BUS.items()], os.environ["QXCTL"], "discover", "--timeout", "1")
    assert (there.returncode, there.stdout) == (0, "TCPIP::10.9.0.1::inst0::INSTR\t7103QX\tSN000123\n"), there.stderr
    assert "mDNS: no Avahi daemon" in there.stderr


def test_a_taken_name_is_renamed_and_every_name_goes_with_its_gateway(simulator, daemons, gates):
    first = gates(f"inst0={simulator().resource}", "--http", "8080")
    second = gates(f"inst0={simulator().resource}", "--http", "8081")
    assert f'"{NAME}" is taken on the LAN: renamed "{NAME} #2"' in second.said()
    doors = lambda name, http: {("_lxi._tcp", name, http), ("_http._tcp", name, http), ("_vxi-11._tcp", name, 111)}
    assert {(t, n, p) for (t, n), (a, p, txt) in browse().items()} == doors(NAME, 8080) | doors(NAME + " #2", 8081)
    assert stop(second.process) == 0  # its goodbye lets the records live one more second
    wait_for(lambda: {n for t, n in browse()} == {NAME})
    assert stop(first.process) == 0
    wait_for(lambda: browse() == {})


def test_without_avahi_the_gateway_says_so_once_serves_and_publishes_once_it_can(simulator, daemons, gates):
    sim = simulator()
    stop(daemons.avahi)

    def serving(env, words):
        gate = gates(f"inst0={sim.resource}", env=env, published=0)
        identified = run(os.environ["QXCTL"], "-r", "TCPIP::127.0.0.1::inst0::INSTR", "identify")
        assert identified.stdout == "7103QX\nSN000123\n1.02\n", identified.stderr
        assert gate.said().count(words) == 1 and PUBLISHED not in gate.said(), gate.said()
        return gate

    assert stop(serving(NO_BUS, "no Avahi daemon can be reached").process) == 0
    gate = serving({}, "no Avahi daemon runs")
    # The daemon appears, and later restarts: published each time.
    for restart in [False, True]:
        stop(daemons.avahi if restart else None)
        daemons.start_avahi()
        wait_for(lambda: gate.said().count(PUBLISHED) == 1 + restart)
        assert {n for t, n in browse()} == {NAME}
    assert gate.said().count("no Avahi daemon") == 1 and "went away" in gate.said()
