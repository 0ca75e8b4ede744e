"""qxgate's raw SCPI socket: independent clients (pyvisa-py, lxi-tools, qxctl, nc) on it; eight unlocked
clients on both doors of one instrument at once; another host refused, or let in read-only.

Runs inside with_rpcbind.sh (as root). The programs come from the environment: QXSIM, QXGATE, QXCTL."""

import json
import os
import re
import subprocess
import sys

from test_gate_lan import STEPS, peer  # noqa: F401 (peer is a fixture)
from test_gate_sharing import ANSWERS, CLIENT, IDENTITY, RESOURCE, RUN_LIMIT

PORT = 5025
SOCKET = f"TCPIP::127.0.0.1::{PORT}::SOCKET"
REMOTE = f"TCPIP::10.9.0.1::{PORT}::SOCKET"
# pyvisa-py on a socket ends what it writes with CR LF; answers end with LF.
STEPS = STEPS.replace('write_termination=""', 'read_termination="\\n"')


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, timeout=RUN_LIMIT)


def socket_gateway(gateway, sim, *options):
    return gateway(f"inst0={sim.resource},socket={PORT}", "--no-mdns", *options)


def test_independent_clients_on_the_socket(simulator, gateway):
    sim = simulator()
    socket_gateway(gateway, sim)
    visa = run(sys.executable, "-c", STEPS, SOCKET, "?*IDN?")
    assert (visa.returncode, json.loads(visa.stdout)) == (0, [IDENTITY[:-1]]), visa.stderr
    lxi = run("lxi", "scpi", "--raw", "-a", "127.0.0.1", "-p", str(PORT), "LIM:CURR?")
    assert (lxi.returncode, lxi.stdout) == (0, "9.2\n"), lxi.stderr
    qxctl = run(os.environ["QXCTL"], "-r", SOCKET, "identify")
    assert (qxctl.returncode, qxctl.stdout) == (0, "7103QX\nSN000123\n1.02\n"), qxctl.stderr
    # nc -q closes its sending half once its input ends (as -N does), and still reads the answer.
    nc = subprocess.run(["nc", "-q", "1", "127.0.0.1", str(PORT)], input="VOLT 120\r\nVOLT?\n\n",
                        capture_output=True, text=True, timeout=RUN_LIMIT)
    assert nc.stdout.startswith("120") and nc.stdout.count("\n") == 1, nc
    received = sim.received()
    assert received[:2] == ["*IDN?", "LIM:CURR?"] and received[-2:] == ["VOLT 120", "VOLT?"], received


def test_eight_unlocked_clients_on_both_doors_each_get_their_own_answers(simulator, gateway):
    socket_gateway(gateway, simulator())
    socket_client = CLIENT.replace('write_termination=""', 'write_termination="\\n", read_termination="\\n"')
    clients = [subprocess.Popen([sys.executable, "-c", *([socket_client, SOCKET, q, a[:-1]] if i % 2 else
                                                          [CLIENT, RESOURCE, q, a]), "3"],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
               for i, (q, a) in enumerate(ANSWERS.items())]
    try:
        assert [c.stdout.readline() for c in clients] == ["ready\n"] * len(clients)
        for c in clients:
            c.stdin.write("go\n")
            c.stdin.flush()
        counts = [json.loads(c.communicate(timeout=RUN_LIMIT)[0]) for c in clients]
    finally:
        for c in clients:
            c.kill()
            c.wait(timeout=10)
    total = {k: sum(c[k] for c in counts) for k in counts[0]}
    assert (total["wrong"], total["timeout"], total["error"]) == (0, 0, 0), counts
    assert all(c["correct"] > 0 for c in counts), counts


def test_another_host_on_the_socket_is_refused_or_only_asks(simulator, gateway, peer):  # noqa: F811
    sim = simulator()
    gate = socket_gateway(gateway, sim, "--listen", "0.0.0.0")
    refused = peer(sys.executable, "-c", STEPS, REMOTE, "!VOLT 300", "?*IDN?")
    gate.stop()
    assert re.search(r"(ConnectionReset|BrokenPipe)Error: ", refused.stderr), refused  # closed at once
    assert "refused 10.9.0.2 on the raw socket of inst0: not an allowed address" in gate.trace.read_text()

    gate = socket_gateway(gateway, sim, "--allow-read", "10.9.0.2")
    asked = peer(sys.executable, "-c", STEPS, REMOTE, "?*IDN?", "!VOLT 300", "?*RST;LIM:CURR?",
                 "?LIM:VOLT?;LIM:CURR?", "?LIM:FREQ:HIGH?")
    gate.stop()
    # The refused query is answered by nothing: the client's time-out ends its wait.
    assert json.loads(asked.stdout) == [IDENTITY[:-1], "written", "error_timeout", "300", "500"], asked
    trace = gate.trace.read_text()
    assert '"VOLT 300" -> 8 (refused)' in trace and '"*RST;LIM:CURR?" -> 8 (refused)' in trace
    received = sim.transcript.read_text()
    assert "VOLT 300" not in received and "*RST" not in received
