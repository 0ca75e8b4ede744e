"""VXI-11 on the LAN as independent clients meet it: pyvisa-py and liblxi against qxsim --vxi11 and
against qxgate serving qxsim's serial line; locks shared by two clients; a gateway that keeps
serving through malformed calls, a lock held by another client and a silent instrument (vanished
clients: test_gate_sharing.py).

Runs inside with_rpcbind.sh (a private network namespace with its own rpcbind). The programs come
from the environment: QXSIM, QXCTL, QXGATE, LXI_IDENTIFY."""

import os
import re
import socket
import subprocess
import threading
import time

import pytest
import pyvisa

IDENTITY = "ZE,7103QX,SN000123,1.02\n"
RUN_LIMIT = 60


@pytest.fixture
def visa():
    rm = pyvisa.ResourceManager("@py")
    yield rm
    rm.close()


def lxi_identify(device):
    run = subprocess.run([os.environ["LXI_IDENTIFY"], "127.0.0.1", device], capture_output=True, text=True,
                         timeout=RUN_LIMIT)
    assert run.returncode == 0, run.stderr
    return run.stdout


def qxctl(resource, *args):
    return subprocess.run([os.environ["QXCTL"], "-r", resource, *args], capture_output=True, text=True,
                          timeout=RUN_LIMIT)


@pytest.mark.parametrize("args, status, message", [
    (["--serve", "inst0"], 2, "--serve takes NAME=RESOURCE"),
    (["--serve", "in st0=ASRL1::INSTR"], 2, "device name 'in st0' may hold letters"),
    (["--serve", "inst0=ASRL1::INSTR", "--serve", "INST0=ASRL2::INSTR"], 2, "device name 'inst0' given twice"),
    (["--serve", "inst0=ASRL1::INSTR", "--flow", "cts"], 2, "--flow"),
    (["--serve", "gpib0,5=GPIB0::5::INSTR"], 1, "qxgate: cannot open GPIB0::5::INSTR: "),
    (["--serve", "inst0=ASRL1::INSTR", "--listen", "bench"], 2, "--listen: not a numeric IPv4 address: bench"),
])
def test_the_gateway_refuses_what_it_cannot_serve(args, status, message):
    run = subprocess.run([os.environ["QXGATE"], *args], capture_output=True, text=True, timeout=RUN_LIMIT)
    assert (run.returncode, run.stdout) == (status, "")
    assert message in run.stderr


def test_independent_clients_and_qxctl_identify_qxsim_vxi11(simulator, visa):
    simulator("--vxi11", "--gpib-address", "9")
    for device in ["inst0", "gpib0,9"]:
        with visa.open_resource(f"TCPIP::127.0.0.1::{device}::INSTR") as instrument:
            assert instrument.query("*IDN?") == IDENTITY
        assert lxi_identify(device) == IDENTITY
    run = qxctl("TCPIP::127.0.0.1::gpib0,9::INSTR", "identify")
    assert (run.returncode, run.stdout) == (0, "7103QX\nSN000123\n1.02\n"), run.stderr
    with pytest.raises(Exception, match="error creating link: 3"):  # pyvisa-py's words for "no such device"
        visa.open_resource("TCPIP::127.0.0.1::gpib0,5::INSTR")


def test_the_gateway_serves_a_serial_instrument_with_its_line_feeds(simulator, gateway, visa):
    sim = simulator()
    gate = gateway(f"gpib0,5={sim.resource}", f"inst0={sim.resource}")
    with visa.open_resource("TCPIP::127.0.0.1::gpib0,5::INSTR", write_termination="") as instrument:
        assert instrument.query("*IDN?") == IDENTITY
    assert lxi_identify("inst0") == IDENTITY
    run = qxctl("TCPIP::127.0.0.1::gpib0,5::INSTR", "set", "voltage", "120")
    assert run.returncode == 0, run.stderr
    received = sim.transcript.read_text(encoding="latin-1")
    # Each message reached the serial line once, ended by the one line feed the gateway adds.
    assert "< *IDN?\\n\n" in received and "< VOLT 120.000000\\n\n" in received
    assert "\\n\\n" not in received
    gate.stop()
    trace = gate.trace.read_text()
    assert re.search(r'create_link "gpib0,5" by client \d+', trace)
    assert "device_write 5 bytes END -> 0" in trace
    assert re.search(r'ASRL\S+ write "VOLT 120.000000\\n"', trace)


def lock(instrument, within=5.0):
    """pyvisa-py asks for the lock without waiting for it (no waitlock flag): it tries again."""
    deadline = time.monotonic() + within
    while True:
        try:
            instrument.lock_excl(timeout=0)
            return
        except pyvisa.errors.VisaIOError as error:
            assert error.error_code == pyvisa.constants.StatusCode.error_resource_locked
            assert time.monotonic() < deadline
            time.sleep(0.001)


def test_two_locked_clients_never_get_each_others_answers(simulator, gateway, visa):
    sim = simulator()
    gateway(f"gpib0,5={sim.resource}", f"inst0={sim.resource}")
    wrong = []

    def client(device, query, expected):
        with visa.open_resource(f"TCPIP::127.0.0.1::{device}::INSTR", write_termination="") as instrument:
            for _ in range(1000):
                lock(instrument)
                try:
                    answer = instrument.query(query)
                finally:
                    instrument.unlock()
                if answer != expected:
                    wrong.append((device, answer))

    threads = [threading.Thread(target=client, args=("gpib0,5", "*IDN?", IDENTITY)),
               threading.Thread(target=client, args=("inst0", "LIM:VOLT?", "300\n"))]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=RUN_LIMIT)
    assert not any(t.is_alive() for t in threads)
    assert wrong == []
    assert sim.transcript.read_text().count("< LIM:VOLT?") == 1000


def test_the_gateway_keeps_serving_through_bad_calls_contention_and_silence(simulator, gateway, visa):
    sim = simulator()
    silent = simulator("--silent")
    gate = gateway(f"inst0={sim.resource}", f"inst1={silent.resource}")
    resource = "TCPIP::127.0.0.1::inst0::INSTR"

    # Malformed RPC: a record longer than any call, then bytes that are no call at all.
    for garbage in [b"\x7f\xff\xff\xff" + b"x" * 64, b"\x80\x00\x00\x04\x00\x00\x00\x01"]:
        with socket.create_connection(("127.0.0.1", gate.port), timeout=5) as raw:
            raw.sendall(garbage)
            try:
                assert raw.recv(1) == b""
            except ConnectionResetError:
                pass

    with visa.open_resource(resource, write_termination="") as instrument:
        lock(instrument)
        # Contention: another client is refused at once while the lock is held.
        with visa.open_resource(resource) as other:
            with pytest.raises(pyvisa.errors.VisaIOError) as refused:
                other.lock_excl(timeout=0)
            assert refused.value.error_code == pyvisa.constants.StatusCode.error_resource_locked
        instrument.unlock()
        assert instrument.query("*IDN?") == IDENTITY

    # A silent instrument is a time-out, not a broken link, and the other device goes on.
    with visa.open_resource("TCPIP::127.0.0.1::inst1::INSTR", timeout=500) as quiet:
        with pytest.raises(pyvisa.errors.VisaIOError) as timed_out:
            quiet.query("*IDN?")
        assert timed_out.value.error_code == pyvisa.constants.StatusCode.error_timeout
    with visa.open_resource(resource, write_termination="") as instrument:
        assert instrument.query("*IDN?") == IDENTITY
    assert gate.process.poll() is None
