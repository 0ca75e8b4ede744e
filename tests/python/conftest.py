"""qxsim on a pseudo-terminal for each test, and what it received, for the qxctl and qx70 tests;
qxgate serving simulators, for the VXI-11 tests.

The programs come from the environment ctest sets: QXSIM, QXCTL, QXGATE, QX70_LIBRARY (and
PYTHONPATH for the module)."""

import os
import re
import subprocess

import pytest

# What ZEV_QX70_init sends (identification, no reset) and ZEV_QX70_close after it.
OPENING = ["SYST:LOC", "SYST:ERR?", "SYST:REM", "SYST:ERR?", "*CLS", "*IDN?", "LIM:VOLT?", "LIM:CURR?",
           "LIM:FREQ:LOW?", "LIM:FREQ:HIGH?", "SYST:ERR?"]
CLOSING = ["SYST:LOC"]


class Simulator:
    def __init__(self, folder, options):
        self.link = str(folder / "tty")
        self.transcript = folder / "transcript"
        self.process = subprocess.Popen(
            [os.environ["QXSIM"], "--pty", self.link, "--transcript", str(self.transcript), *options],
            stdout=subprocess.PIPE, text=True)
        self.ready = self.process.stdout.readline()
        assert self.ready.startswith("qxsim: "), self.ready
        self.resource = f"ASRL{self.link}::INSTR"

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)

    def received(self):
        """Stops the simulator; the messages it received, in order, without their line feeds."""
        self.stop()
        lines = self.transcript.read_text(encoding="latin-1").splitlines()
        return [line.split(" < ", 1)[1].removesuffix("\\n") for line in lines if " < " in line]

    def between_open_and_close(self):
        """What was received after the opening and before the closing, both checked."""
        received = self.received()
        assert received[:len(OPENING)] == OPENING
        assert received[-len(CLOSING):] == CLOSING
        return received[len(OPENING):-len(CLOSING)]


@pytest.fixture
def simulator(tmp_path):
    """A factory: simulator(*qxsim_options) starts one; all are stopped after the test."""
    started = []

    def start(*options):
        folder = tmp_path / f"simulator{len(started)}"
        folder.mkdir()
        started.append(Simulator(folder, options))
        return started[-1]

    yield start
    for sim in started:
        sim.stop()


class Gateway:
    """qxgate with OPTIONS; its core port and its I/O trace."""

    def __init__(self, trace, options):
        self.trace = trace
        self.process = subprocess.Popen([os.environ["QXGATE"], *options], stdout=subprocess.PIPE, text=True,
                                        env={**os.environ, "QX_IO_TRACE": str(self.trace)})
        ready = self.process.stdout.readline()
        assert ready.startswith("qxgate: serving "), ready
        self.port = int(re.search(r":(\d+)$", ready.strip()).group(1))

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            assert self.process.wait(timeout=10) == 0


@pytest.fixture
def gateway(tmp_path):
    """A factory: gateway(*arguments) starts qxgate, each NAME=RESOURCE argument a device to serve and
    the rest its options; all are stopped after the test. Without mDNS: the instruments hear only the
    tests' own traffic (test_gate_mdns.py starts its gateways itself)."""
    started = []

    def start(*arguments):
        options = ["--no-mdns"] + [part for a in arguments for part in (["--serve", a] if "=" in a and a[:2] != "--" else [a])]
        started.append(Gateway(tmp_path / f"gate{len(started)}.trace", options))
        return started[-1]

    yield start
    for g in started:
        g.stop()
