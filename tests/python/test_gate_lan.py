"""qxgate reached from another host: a second network namespace joined to ours by a veth pair (10.9.0.1
here, 10.9.0.2 there) whose clients ask our rpcbind for the port. Other hosts are refused unless
--allow admits them; --allow-read lets them ask, never set.

Runs inside with_rpcbind.sh (as root). The programs come from the environment: QXSIM, QXGATE, QXCTL."""

import json
import os
import re
import subprocess
import sys

import pytest

from test_gate_sharing import IDENTITY, RUN_LIMIT, serving

RESOURCE = "TCPIP::10.9.0.1::inst0::INSTR"
DENIED = "Access to the resource or remote machine is denied"


@pytest.fixture
def peer():
    """Runs a command on the other host."""
    try:
        for command in ["ip netns add qxpeer", "ip link add qxa type veth peer name qxb netns qxpeer",
                        "ip addr add 10.9.0.1/24 brd + dev qxa", "ip link set qxa up",
                        # not "ip -n", which needs / to be a mount point (no chroot)
                        "nsenter --net=/run/netns/qxpeer ip addr add 10.9.0.2/24 brd + dev qxb",
                        "nsenter --net=/run/netns/qxpeer ip link set qxb up"]:
            subprocess.run(command.split(), check=True, timeout=RUN_LIMIT)
        yield lambda *command: subprocess.run(["nsenter", "--net=/run/netns/qxpeer", *command],
                                              capture_output=True, text=True, timeout=RUN_LIMIT)
    finally:
        subprocess.run(["ip", "netns", "del", "qxpeer"], timeout=RUN_LIMIT)


def qxctl(peer, *args):
    return peer(os.environ["QXCTL"], "-r", RESOURCE, *args)


# Each step a query ("?..."), a write ("!...") or "lock"; prints what each gave, or pyvisa's error name.
STEPS = """
import json, sys, pyvisa
inst = pyvisa.ResourceManager("@py").open_resource(sys.argv[1], write_termination="", timeout=2000)
out = []
for step in sys.argv[2:]:
    try:
        out.append(inst.query(step[1:]) if step[0] == "?" else
                   inst.write(step[1:]) and "written" if step[0] == "!" else inst.lock_excl(timeout=0) or "locked")
    except pyvisa.errors.VisaIOError as e:
        out.append(pyvisa.constants.StatusCode(e.error_code).name)
print(json.dumps(out))
"""


def test_other_hosts_are_refused_unless_allowed(simulator, gateway, peer):
    sim = simulator()
    serve = serving(sim)
    # Loopback only: another host finds no gateway; on every interface it finds one that hangs up.
    for options in [[], ["--listen", "0.0.0.0"]]:
        gate = gateway(*serve, *options)
        run = qxctl(peer, "set", "voltage", "300")
        gate.stop()
        assert run.returncode != 0, f"another host set the voltage ({options})"
    assert DENIED in run.stderr, run.stderr
    assert "refused 10.9.0.2 " in gate.trace.read_text()
    assert "VOLT" not in sim.transcript.read_text()

    gate = gateway(*serve, "--allow", "10.9.0.0/24")
    run = qxctl(peer, "set", "voltage", "120")
    assert run.returncode == 0, run.stderr
    assert "< VOLT 120.000000\\n" in sim.transcript.read_text()


def test_a_read_only_host_may_ask_but_not_set(simulator, gateway, peer):
    sim = simulator()
    gate = gateway(*serving(sim), "--allow-read", "10.9.0.2")
    run = peer(sys.executable, "-c", STEPS, RESOURCE, "?*IDN?", "?LIM:VOLT?;LIM:CURR?", "!*RST;*IDN?", "!VOLT 300",
               "lock", "?LIM:FREQ:HIGH?")
    assert run.returncode == 0, run.stderr
    # pyvisa-py reports any write error as an I/O error; the gateway's answer (8) is in its trace.
    got = json.loads(run.stdout)
    assert got[:1] + got[2:] == [IDENTITY, "error_io", "error_io", "error_nonsupported_operation", "500\n"], got
    assert got[1].startswith("300")  # qxsim answers the first query of a compound message only
    assert qxctl(peer, "set", "voltage", "300").returncode != 0  # its opening sets the instrument remote
    gate.stop()
    assert re.findall(r"device_write (\d+) bytes END -> 8", gate.trace.read_text())[:2] == ["10", "8"]
    received = sim.transcript.read_text()
    assert "< LIM:VOLT?;LIM:CURR?\\n" in received  # a message of queries only goes through whole
    assert "*RST" not in received and "VOLT 300" not in received and "SYST:REM" not in received
