"""qxctl as a script runs it: against qxsim on a pseudo-terminal, checking what went on the wire,
what was printed and the exit status."""

import json
import os
import pathlib
import subprocess

import pytest

# A bound for any run: the driver's own time-outs are a few seconds at most.
RUN_LIMIT = 60
# The look into the instrument's error queue after a command that may have changed it.
QUEUE = [":SYST:ERR?"]
# The voltage and current settings read before and after a range change.
SETPOINTS = ["VOLT?", "SYST:ERR?", "CURR?", "SYST:ERR?"]


def qxctl(*args, env=None):
    return subprocess.run([os.environ["QXCTL"], *args], capture_output=True, text=True, timeout=RUN_LIMIT,
                          env={**os.environ, **(env or {})})


@pytest.mark.parametrize("args, wire, printed", [
    (["set", "voltage", "120"], ["VOLT:RANG?", "VOLT 120.000000", "SYST:ERR?"] + QUEUE, ""),
    (["set", "range", "low"], SETPOINTS + ["VOLT:RANG 150.000000", "SYST:ERR?"] + SETPOINTS + QUEUE, ""),
    (["output", "on"], ["OUTP 1", "SYST:ERR?"] + QUEUE, ""),
    (["get", "frequency"], ["FREQ?", "SYST:ERR?"], "50\n"),
    (["measure", "power", "--phase", "2"], ["INST:NSEL 2", "MEAS:POW?"] + QUEUE, "0\n"),
    (["measure", "power"], ["INST:COUP 1", "MEAS:POW?"] + QUEUE, "0\n"),  # all phases by default, on a 7103QX too
    (["drop", "--angle", "90", "--time", "0.02", "--phase", "1"],
     ["INST:COUP 0", "INST:NSEL 1", "OUTP:STAR:STAT 1", "OUTP:STAR:PHAS 90.000000", "OUTP:DROP 0.020000",
      "SYST:ERR?", "*CLS"] + QUEUE, ""),
    (["save", "3"], ["*SAV 3", "SYST:ERR?"] + QUEUE, ""),
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


@pytest.mark.parametrize("args, code, message", [
    (["set", "voltage", "400"], -1074126847, "400 V is above this instrument's 300 V limit"),
    (["set", "voltage", "-5"], -1074126847, "-5 V: a voltage cannot be negative"),
    (["set", "current", "50"], -1074126846, "50 A is above this instrument's 4.6 A limit on the high range"),
    (["set", "frequency", "15.5"], -1074118655, "15.5 Hz is below this instrument's 16 Hz minimum"),
])
def test_a_refused_value_sends_nothing_and_says_why(simulator, args, code, message):
    sim = simulator()
    run = qxctl("-r", sim.resource, "--json", *args)
    assert (run.returncode, run.stderr) == (1, f"qxctl: {args[0]} {args[1]}: {message}\n")
    assert json.loads(run.stdout)["error"] == {"code": code, "message": message}
    assert not [m for m in sim.between_open_and_close() if m.split()[0] in ("VOLT", "CURR", "FREQ")]


def test_a_range_change_tells_the_settings_the_instrument_lowered(simulator):
    sim = simulator()
    assert qxctl("-r", sim.resource, "set", "voltage", "200").returncode == 0
    run = qxctl("-r", sim.resource, "set", "range", "low")
    assert (run.returncode, run.stdout) == (0, "")
    assert run.stderr == "qxctl: set range: warning: the instrument changed the voltage setting from 200 V to 150 V\n"
    run = qxctl("-r", sim.resource, "set", "voltage", "160")
    assert run.stderr == "qxctl: set voltage: 160 V is above this instrument's 150 V limit on the low range\n"


def test_an_error_the_drivers_checks_miss_fails_the_command(simulator):
    # A measurement's phase selection is followed by no status check of the driver's own.
    sim = simulator("--model", "7101QX")
    run = qxctl("-r", sim.resource, "measure", "voltage", "--phase", "2")
    assert (run.returncode, run.stdout) == (1, "")
    assert run.stderr == 'qxctl: measure voltage: the instrument reports -222,"Data out of range"\n'
    assert sim.between_open_and_close() == ["INST:NSEL 2", "MEAS:VOLT?"] + QUEUE * 2


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
    ("ASRL9::INSTR", "/dev/ttyS8: No such file or directory"),
    ("GPIB0::5::INSTR", "could not be located or loaded: linux-gpib's /nonexistent/libgpib.so.0 is not installed"),
])
def test_a_resource_that_cannot_be_opened(resource, message):
    run = qxctl("-r", resource, "identify", env={"QX_COM9": "", "QX_GPIB_LIBRARY": "/nonexistent/libgpib.so.0"})
    assert run.returncode == 1 and message in run.stderr, run.stderr


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


def test_presets_version_and_a_check_need_no_instrument(tmp_path):
    run = qxctl("presets", env={"QX_RESOURCE": ""})
    assert "\niec-61000-4-11-interruptions  about 2 min 17 s  IEC 61000-4-11 interruptions: 0 %" in run.stdout
    run = qxctl("run", "--check", "voltage-frequency-steps")
    assert run.stdout.splitlines()[:2] == ['"Voltage and frequency steps": 14 steps, about 11 s; a 7103QX can run it',
                                           "1. set range high, frequency 50, voltage 100"]
    low = tmp_path / "low.json"
    low.write_text('{"steps": [{"set": {"range": "low", "voltage": 200}}]}')
    run = qxctl("run", "--check", str(low), "--model", "7101QX")
    assert (run.returncode, run.stdout) == (1, "")
    assert run.stderr == f"qxctl: run: {low}: step 1: 200 V is above this instrument's 150 V limit on the low range " \
                         "(checked as a 7101QX)\n"
    assert qxctl("--version").stdout.startswith("qxctl 1.")


def test_a_log_keeps_an_existing_csv_file_unless_forced_and_tells_late_rows(simulator, tmp_path):
    table = tmp_path / "log.csv"
    table.write_text("kept\n")
    run = qxctl("-r", "ASRL/nonexistent::INSTR", "log", "voltage", "--csv", str(table))  # refused before the open
    assert (run.returncode, run.stderr) == (1, f"qxctl: log: {table} exists; give --force to overwrite it\n")
    assert table.read_text() == "kept\n"
    sim = simulator()
    run = qxctl("-r", sim.resource, "log", "voltage", "--csv", str(table), "--force", "--interval", "0.01",
                "--duration", "0")
    assert run.returncode == 0 and table.read_text().startswith("time,elapsed_s,voltage\n")
    assert run.stderr.startswith("qxctl: log: warning: a row took "), run.stderr  # a serial row takes > 10 ms


def test_bash_completes_commands_their_words_and_the_shipped_sequences():
    script = pathlib.Path(__file__).parents[2] / "packaging" / "bash-completion" / "qxctl"
    complete = 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _qxctl; echo "${COMPREPLY[*]}"'
    for words, expected in [(["me"], "measure"), (["--simulate", "7101QX", "set", "range", "l"], "low"),
                            (["run", "iec-61000-4-11-short"],
                             "iec-61000-4-11-short-interruption-50hz iec-61000-4-11-short-interruption-60hz")]:
        run = subprocess.run(["bash", "-c", complete, "complete", script, os.environ["QXCTL"], *words],
                             capture_output=True, text=True, timeout=RUN_LIMIT)
        assert run.stdout == expected + "\n", (words, run.stderr)
