"""qxctl as a script runs it: against qxsim on a pseudo-terminal, checking what went on the wire,
what was printed and the exit status."""

import json
import os
import subprocess

import pytest

# A bound for any run: the driver's own time-outs are a few seconds at most.
RUN_LIMIT = 60


def qxctl(*args, env=None):
    return subprocess.run([os.environ["QXCTL"], *args], capture_output=True, text=True, timeout=RUN_LIMIT,
                          env={**os.environ, **(env or {})})


@pytest.mark.parametrize("args, wire, printed", [
    (["set", "voltage", "120"], ["VOLT:RANG?", "VOLT 120.000000", "SYST:ERR?"], ""),
    (["set", "range", "low"], ["VOLT:RANG 150.000000", "SYST:ERR?"], ""),
    (["output", "on"], ["OUTP 1", "SYST:ERR?"], ""),
    (["get", "frequency"], ["FREQ?", "SYST:ERR?"], "50\n"),
    (["measure", "power", "--phase", "2"], ["INST:NSEL 2", "MEAS:POW?"], "0\n"),
    (["measure", "power"], ["INST:COUP 1", "MEAS:POW?"], "0\n"),  # all phases by default, on a 7103QX too
    (["drop", "--angle", "90", "--time", "0.02", "--phase", "1"],
     ["INST:COUP 0", "INST:NSEL 1", "OUTP:STAR:STAT 1", "OUTP:STAR:PHAS 90.000000", "OUTP:DROP 0.020000",
      "SYST:ERR?", "*CLS"], ""),
    (["save", "3"], ["*SAV 3", "SYST:ERR?"], ""),
    (["identify"], ["*IDN?"] * 3 + ["SYST:ERR?"], "7103QX\nSN000123\n1.02\n"),
])
def test_each_command_sends_exactly_its_driver_calls(simulator, args, wire, printed):
    sim = simulator()
    run = qxctl("-r", sim.resource, *args)
    assert (run.returncode, run.stdout, run.stderr) == (0, printed, "")
    assert sim.between_open_and_close() == wire


def test_resource_from_the_environment_and_json_values_from_the_instrument(simulator):
    sim = simulator("--model", "7101QX", "--voltage-limit", "250", "--freq-high", "1000")
    run = qxctl("--json", "limits", env={"QX_RESOURCE": sim.resource})
    assert run.returncode == 0, run.stderr
    assert json.loads(run.stdout) == {"command": "limits", "ok": True, "voltage": 250.0, "current": 9.2,
                                      "frequency_low": 16.0, "frequency_high": 1000.0, "model": 7101}


def test_a_refused_value_sends_nothing_and_says_why(simulator):
    sim = simulator()
    run = qxctl("-r", sim.resource, "--json", "set", "voltage", "300.5")
    assert run.returncode == 1
    assert run.stderr == "qxctl: set voltage: Over-voltage detected (status 0xBFFA2001)\n"
    assert json.loads(run.stdout)["error"] == {"code": -1074126847,
                                               "message": "Over-voltage detected (status 0xBFFA2001)"}
    assert sim.between_open_and_close() == ["VOLT:RANG?"]


@pytest.mark.parametrize("args, options", [
    (["set", "frequency", "60"], ["--error-after", "FREQ=-222"]),
    (["save", "99"], []),  # registers the instrument does not have: refused, and so reported
    (["recall", "12"], []),
])
def test_an_instrument_error_fails_the_command(simulator, args, options):
    sim = simulator(*options)
    run = qxctl("-r", sim.resource, *args)
    assert (run.returncode, run.stdout) == (1, "")
    assert run.stderr.startswith(f"qxctl: {' '.join(args[:-1])}: Instrument error detected"), run.stderr
    assert run.stderr.endswith('-222,"Data out of range" (status 0xBFFA0001)\n'), run.stderr


def test_an_angle_the_source_lacks_is_refused_with_its_popup_on_stderr(simulator):
    sim = simulator()
    run = qxctl("-r", sim.resource, "drop", "--angle", "45")
    assert run.returncode == 1
    assert run.stderr.splitlines() == [
        "Error Message: Output Drop function only supports 0, 90, 180, 270 phase angle",
        "qxctl: drop: Invalid value for parameter or property: Start Phase (status 0xBFFA0010)"]
    assert "OUTP:DROP" not in " ".join(sim.received())


@pytest.mark.parametrize("args, message", [
    (["-r", "ASRL1::INSTR", "reboot"], "The following argument was not expected: reboot"),
    (["-r", "ASRL1::INSTR", "set", "voltage", "12x"], 'set voltage: "12x" is not a number'),
    (["-r", "ASRL1::INSTR", "measure", "voltage", "--phase", "4"], "--phase: Value 4 not in range 0 to 3"),
    (["identify"], "no instrument: give -r RESOURCE, set QX_RESOURCE, or use --simulate"),
])
def test_usage_errors_exit_2_before_anything_is_opened(args, message):
    run = qxctl(*args, env={"QX_RESOURCE": ""})
    assert (run.returncode, run.stdout) == (2, "")
    assert message in run.stderr


@pytest.mark.parametrize("resource, message", [
    ("GPIB0::5::FOO", "cannot open GPIB0::5::FOO: Invalid resource reference specified. Parsing error"),
    ("ASRL/nonexistent/tty::INSTR", "cannot open ASRL/nonexistent/tty::INSTR: Insufficient location information"),
])
def test_a_resource_that_cannot_be_opened(resource, message):
    run = qxctl("-r", resource, "identify")
    assert run.returncode == 1 and run.stderr.startswith("qxctl: " + message), run.stderr


def test_a_silent_instrument_ends_in_a_time_out_not_a_hang(simulator):
    sim = simulator("--silent")
    run = qxctl("-r", sim.resource, "identify")
    assert run.returncode == 1
    assert "Timeout expired before operation completed" in run.stderr, run.stderr


def test_simulate_runs_its_own_qxsim_of_the_model():
    # Found without QXSIM: beside an installed qxctl, or in the build tree qxctl is run from.
    run = qxctl("--simulate=7101QX", "--json", "identify", env={"QXSIM": ""})
    assert run.returncode == 0, run.stderr
    assert json.loads(run.stdout)["model"] == "7101QX"
