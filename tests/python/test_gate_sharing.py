"""One instrument shared by many VXI-11 clients of qxgate (and of qxsim --vxi11): every answer goes to
the client that asked, an unread answer never reaches another client, a vanished or idle lock
holder frees the lock soon, no client can hold the gateway for itself by opening connections or
asking endless waits, another host cannot abort a client's call, and a lost line is served again
once its instrument is back.

Runs inside with_rpcbind.sh. The programs come from the environment: QXSIM, QXGATE, QXCTL."""

import json
import os
import random
import re
import signal
import socket
import struct
import subprocess
import sys
import threading
import time

import pytest
import pyvisa

from conftest import Simulator

IDENTITY = "ZE,7103QX,SN000123,1.02\n"
RESOURCE = "TCPIP::127.0.0.1::inst0::INSTR"
RUN_LIMIT = 60
# Queries whose answers on qxsim's defaults all differ: an answer that reached the wrong client shows.
ANSWERS = {"*IDN?": IDENTITY, "LIM:VOLT?": "300\n", "LIM:CURR?": "9.2\n", "LIM:FREQ:LOW?": "16\n",
           "LIM:FREQ:HIGH?": "500\n", "SYST:VERS?": "1999.0\n", "SYST:SNUM?": '"SN000123"\n',
           "OUTP:STAR:PHAS? MAX": "360\n"}
CORE, ASYNC = 0x0607AF, 0x0607B0
CREATE_LINK, DEVICE_WRITE, DEVICE_READ, DEVICE_LOCK, DEVICE_ABORT, END = 10, 11, 12, 18, 1, 8
IO_TIMEOUT, INVALID_LINK, ABORTED = 15, 4, 23


@pytest.fixture
def visa():
    rm = pyvisa.ResourceManager("@py")
    yield rm
    rm.close()


def serving(*simulators):
    return [f"inst{i}={sim.resource}" for i, sim in enumerate(simulators)]


def rpc(sock, program, procedure, args):
    """One ONC RPC call by hand (null credentials); the result's 32-bit words after an accepted reply."""
    body = struct.pack(">10I", random.getrandbits(32), 0, 2, program, 1, procedure, 0, 0, 0, 0) + args
    sock.sendall(struct.pack(">I", 0x80000000 | len(body)) + body)
    reply, last = b"", False
    while not last:
        mark = struct.unpack(">I", receive(sock, 4))[0]
        last, reply = mark >> 31, reply + receive(sock, mark & 0x7FFFFFFF)
    assert struct.unpack(">5I", reply[4:24]) == (1, 0, 0, 0, 0), reply  # accepted, success
    return struct.unpack(f">{(len(reply) - 24) // 4}I", reply[24:])


def receive(sock, count):
    data = b""
    while len(data) < count:
        data += sock.recv(count - len(data)) or pytest.fail("connection closed")
    return data


def connect(port, source="127.0.0.1", timeout=5.0):
    return socket.create_connection(("127.0.0.1", port), timeout=timeout, source_address=(source, 0))


class Link:
    def __init__(self, port, device):
        self.sock = connect(port, timeout=10)
        name = device.encode()
        args = struct.pack(">4I", 7, 0, 0, len(name)) + name + b"\0" * (-len(name) % 4)
        error, self.lid, self.abort_port = rpc(self.sock, CORE, CREATE_LINK, args)[:3]
        assert error == 0

    def call(self, procedure, *words, data=None):
        """The error of one call on the link: its words after the link id, then its data."""
        args = struct.pack(f">{len(words) + 1}I", self.lid, *words)
        if data is not None:
            args += struct.pack(">I", len(data)) + data + b"\0" * (-len(data) % 4)
        return rpc(self.sock, CORE, procedure, args)[0]

    def read(self, io_timeout_ms):
        """device_read of up to 100 bytes: (error, seconds it took)."""
        begun = time.monotonic()
        error = self.call(DEVICE_READ, 100, io_timeout_ms, 0, 0, 0)
        return error, time.monotonic() - begun


def lock_seconds(instrument, within):
    """Seconds until the lock is ours (pyvisa-py never waits for it: it asks again), or None."""
    begun = time.monotonic()
    while time.monotonic() - begun < within:
        try:
            instrument.lock_excl(timeout=0)
            return time.monotonic() - begun
        except pyvisa.errors.VisaIOError as error:
            assert error.error_code == pyvisa.constants.StatusCode.error_resource_locked
            time.sleep(0.005)
    return None


CLIENT = """
import json, sys, time, pyvisa
query, expected, seconds = sys.argv[2], sys.argv[3], float(sys.argv[4])
inst = pyvisa.ResourceManager("@py").open_resource(sys.argv[1], write_termination="", timeout=2000)
print("ready", flush=True)
sys.stdin.readline()
counts = {"correct": 0, "wrong": 0, "timeout": 0, "error": 0}
end = time.monotonic() + seconds
while time.monotonic() < end:
    try:
        counts["correct" if inst.query(query) == expected else "wrong"] += 1
    except pyvisa.errors.VisaIOError as e:
        counts["timeout" if e.error_code == pyvisa.constants.StatusCode.error_timeout else "error"] += 1
print(json.dumps(counts), flush=True)
"""


@pytest.mark.parametrize("server", ["qxgate", "qxsim --vxi11"])
def test_eight_unlocked_clients_each_get_their_own_answers(server, simulator, gateway):
    if server == "qxgate":
        gateway(*serving(simulator()))
    else:
        simulator("--vxi11")
    # Processes, each with its own session, so the GIL does not take turns for them.
    clients = [subprocess.Popen([sys.executable, "-c", CLIENT, RESOURCE, q, a, "3"], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, text=True) for q, a in ANSWERS.items()]
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
    assert total["correct"] >= 200 and all(c["correct"] > 0 for c in counts), counts


def test_an_answer_left_unread_never_reaches_another_query(simulator, gateway, visa):
    gateway(*serving(simulator()))
    with visa.open_resource(RESOURCE, write_termination="") as leaver:
        leaver.write("*IDN?")
    with visa.open_resource(RESOURCE, write_termination="") as instrument:
        assert instrument.query("LIM:VOLT?") == "300\n"
        # Asking again before reading gives up the first answer.
        instrument.write("*IDN?")
        instrument.write("LIM:CURR?")
        assert instrument.read() == "9.2\n"
    run = subprocess.run([os.environ["QXCTL"], "-r", RESOURCE, "identify"], capture_output=True, text=True,
                         timeout=RUN_LIMIT)
    assert (run.returncode, run.stdout) == (0, "7103QX\nSN000123\n1.02\n"), run.stderr


def test_a_lock_goes_with_a_killed_client_and_with_an_idle_one(simulator, gateway, visa):
    gate = gateway(*serving(simulator(), simulator("--silent")), "--lock-idle-timeout", "1")
    holder = subprocess.Popen([sys.executable, "-c", """
import pyvisa
quiet = pyvisa.ResourceManager("@py").open_resource("TCPIP::127.0.0.1::inst1::INSTR", timeout=20000)
quiet.lock_excl()
print("reading", flush=True)
quiet.query("*IDN?")
"""], stdout=subprocess.PIPE, text=True)
    try:
        assert holder.stdout.readline() == "reading\n"
        with visa.open_resource("TCPIP::127.0.0.1::inst1::INSTR") as other:
            assert lock_seconds(other, 0.3) is None  # held while its holder waits for the answer
            holder.kill()
            seconds = lock_seconds(other, 5.0)
            assert seconds is not None and seconds < 1.0, f"the lock outlived its killed holder: {seconds}"
    finally:
        holder.kill()
        holder.wait(timeout=RUN_LIMIT)

    # By hand: pyvisa-py takes seconds to close a session whose link the gateway closed.
    holder = Link(gate.port, "inst0")
    assert holder.call(DEVICE_LOCK, 0, 0) == 0
    with visa.open_resource(RESOURCE) as other:
        for _ in range(5):  # a holder that keeps calling keeps its lock past the idle time-out
            assert holder.call(DEVICE_WRITE, 1000, 0, END, data=b"LIM:VOLT?") == 0
            assert holder.call(DEVICE_READ, 100, 1000, 0, 0, 0) == 0
            last_call = time.monotonic()
            assert lock_seconds(other, 0.3) is None
        assert lock_seconds(other, 5.0) is not None
        assert 0.8 < time.monotonic() - last_call < 3.0
        assert other.query("*IDN?") == IDENTITY


@pytest.mark.parametrize("source", ["127.0.0.2", "127.0.0.1"])
@pytest.mark.parametrize("channel, drip", [("core", False), ("abort", False), ("core", True)])
def test_idle_and_trickling_connections_do_not_lock_others_out(source, channel, drip, simulator, gateway, visa):
    gate = gateway(*serving(simulator()), "--first-link", "3", "--record-timeout", "3")
    port = gate.port if channel == "core" else Link(gate.port, "inst0").abort_port
    crowd = []
    for _ in range(64):
        try:
            crowd.append(connect(port, source))
            if drip:  # a record begun and never finished
                crowd[-1].sendall(struct.pack(">I", 0x80000000 | 1000))
        except OSError:
            pass  # refused at once: not in the crowd
    stop = threading.Event()

    def trickle():  # a byte now and then, never the whole record
        while not stop.wait(random.uniform(0.5, 3.0)):
            for sock in crowd:
                try:
                    sock.send(b"x")
                except OSError:
                    pass

    dripping = threading.Thread(target=trickle if drip else stop.wait)
    dripping.start()
    begun = time.monotonic()
    try:
        if source == "127.0.0.1" and channel == "core":
            time.sleep(1.2)  # the crowd's own refusals are over; its 16 admitted links are not
            asked = time.monotonic()
            with pytest.raises(Exception, match="error creating link: 9"):  # pyvisa-py's "out of resources"
                visa.open_resource(RESOURCE)
            assert time.monotonic() - asked < 2.0
            run = subprocess.run([os.environ["QXCTL"], "-r", RESOURCE, "identify"], capture_output=True,
                                 text=True, timeout=RUN_LIMIT)
            assert run.returncode != 0 and "cannot currently access" in run.stderr, run.stderr
            assert "not present" not in run.stderr
        answer, failures = None, []
        while answer is None and time.monotonic() - begun < 15:
            try:
                with visa.open_resource(RESOURCE, timeout=2000) as instrument:
                    answer = instrument.query("*IDN?")
            except Exception as failure:
                failures.append(str(failure))
                time.sleep(0.2)
        assert answer == IDENTITY, failures[-3:]
        if source != "127.0.0.1" or channel != "core":
            assert failures == []  # another address's crowd, or another channel's, never stands in the way
    finally:
        stop.set()
        dripping.join(timeout=10)
        for sock in crowd:
            sock.close()


def test_a_read_waits_no_longer_than_the_gateway_allows(simulator, gateway):
    gate = gateway(*serving(simulator(), simulator("--silent")), "--max-timeout", "1")
    error, seconds = Link(gate.port, "inst1").read(0xFFFFFFFF)
    assert error == IO_TIMEOUT and 0.5 < seconds < 3.0, (error, seconds)


def test_only_the_clients_own_host_may_abort_its_call(simulator, gateway):
    gate = gateway(*serving(simulator(), simulator("--silent")))
    victim, other = Link(gate.port, "inst1"), Link(gate.port, "inst1")
    assert abs(victim.lid - other.lid) > 1, "link ids are guessable"
    for source, abort_error, read_error in [("127.0.0.2", INVALID_LINK, IO_TIMEOUT), ("127.0.0.1", 0, ABORTED)]:
        outcome = []
        reader = threading.Thread(target=lambda: outcome.append(victim.read(1500)))
        reader.start()
        time.sleep(0.3)
        with connect(victim.abort_port, source) as aborter:
            assert rpc(aborter, ASYNC, DEVICE_ABORT, struct.pack(">I", victim.lid))[0] == abort_error
        reader.join(timeout=10)
        error, seconds = outcome[0]
        assert error == read_error, f"abort from {source}: the read ended with {error}"
        assert (seconds > 1.3) == (read_error == IO_TIMEOUT), seconds


def failing_seconds(call):
    begun = time.monotonic()
    with pytest.raises(pyvisa.errors.VisaIOError) as failed:
        call()
    assert failed.value.error_code == pyvisa.constants.StatusCode.error_io
    return time.monotonic() - begun


def test_a_lost_line_fails_at_once_and_is_served_again_once_an_instrument_is_back(tmp_path, gateway, visa):
    started = [Simulator(tmp_path, [])]  # on one path, so that its successor is found there
    gate = gateway(f"inst0={started[0].resource}")
    try:
        with visa.open_resource(RESOURCE, timeout=5000, write_termination="") as instrument:
            assert instrument.query("*IDN?") == IDENTITY
            started[0].process.send_signal(signal.SIGKILL)
            started[0].process.wait(timeout=RUN_LIMIT)
            # The loss itself (seen by a read), a reopen that finds no instrument, a call in the wait.
            for call in [instrument.read, lambda: instrument.query("*IDN?"), lambda: instrument.query("*IDN?")]:
                assert failing_seconds(call) < 1.0
            started.append(Simulator(tmp_path, []))
            answer, deadline = None, time.monotonic() + 10
            while answer is None and time.monotonic() < deadline:
                try:
                    answer = instrument.query("*IDN?")
                except pyvisa.errors.VisaIOError:
                    time.sleep(0.1)
            assert answer == IDENTITY
        run = subprocess.run([os.environ["QXCTL"], "-r", RESOURCE, "identify"], capture_output=True, text=True,
                             timeout=RUN_LIMIT)
        assert (run.returncode, run.stdout) == (0, "7103QX\nSN000123\n1.02\n"), run.stderr
        gate.stop()
    finally:
        for sim in started:
            sim.stop()
    # Once the read saw the line gone, nothing more went to it.
    failures = re.findall(r"tty::INSTR (\w+) .* status (0x\w+)$", gate.trace.read_text(), re.MULTILINE)
    assert failures == [("read", "0xBFFF00A6")]
