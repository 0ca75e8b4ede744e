"""qxgate serving a serial line whose instrument dies and comes back: the client hears of the loss at
once, and is served again by the same gateway as soon as an instrument answers on the same path.

Runs inside with_rpcbind.sh. The programs come from the environment: QXSIM, QXGATE, QXCTL."""

import os
import re
import signal
import subprocess
import time

import pyvisa
import pytest

from conftest import Simulator

IDENTITY = "ZE,7103QX,SN000123,1.02\n"
RESOURCE = "TCPIP::127.0.0.1::inst0::INSTR"
RUN_LIMIT = 60


class Gateway:
    def __init__(self, folder, *serve):
        self.trace = folder / "gate.trace"
        args = [os.environ["QXGATE"], "--listen", "127.0.0.1"]
        for s in serve:
            args += ["--serve", s]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, text=True,
                                        env={**os.environ, "QX_IO_TRACE": str(self.trace)})
        self.ready = self.process.stdout.readline()
        assert self.ready.startswith("qxgate: serving "), self.ready

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            assert self.process.wait(timeout=10) == 0


@pytest.fixture
def started():
    """Whatever the test starts (simulators, gateways), stopped after it."""
    running = []
    yield running
    for part in reversed(running):
        part.stop()


def failing_seconds(call):
    begun = time.monotonic()
    with pytest.raises(pyvisa.errors.VisaIOError) as failed:
        call()
    assert failed.value.error_code == pyvisa.constants.StatusCode.error_io
    return time.monotonic() - begun


def test_a_lost_line_fails_at_once_and_is_served_again_once_an_instrument_is_back(tmp_path, started):
    started.append(Simulator(tmp_path, []))
    gate = Gateway(tmp_path, f"inst0={started[0].resource}")
    started.append(gate)
    rm = pyvisa.ResourceManager("@py")
    try:
        instrument = rm.open_resource(RESOURCE, timeout=5000, write_termination="")
        assert instrument.query("*IDN?") == IDENTITY

        started[0].process.send_signal(signal.SIGKILL)
        started[0].process.wait(timeout=RUN_LIMIT)
        # The loss itself (seen by a read), a reopen that finds no instrument, a call during the wait
        # before the next.
        for call in [instrument.read, lambda: instrument.query("*IDN?"), lambda: instrument.query("*IDN?")]:
            assert failing_seconds(call) < 1.0

        started.append(Simulator(tmp_path, []))
        assert started[-1].resource == started[0].resource
        deadline = time.monotonic() + 10
        answer = None
        while answer is None and time.monotonic() < deadline:
            try:
                answer = instrument.query("*IDN?")
            except pyvisa.errors.VisaIOError:
                time.sleep(0.1)
        assert answer == IDENTITY
        instrument.close()
    finally:
        rm.close()
    run = subprocess.run([os.environ["QXCTL"], "-r", RESOURCE, "identify"], capture_output=True, text=True,
                         timeout=RUN_LIMIT)
    assert (run.returncode, run.stdout) == (0, "7103QX\nSN000123\n1.02\n"), run.stderr
    assert gate.process.poll() is None
    gate.stop()
    # Once the read saw the line gone, nothing more went to it.
    failures = re.findall(r"tty::INSTR (\w+) .* status (0x\w+)$", gate.trace.read_text(), re.MULTILINE)
    assert failures == [("read", "0xBFFF00A6")]
