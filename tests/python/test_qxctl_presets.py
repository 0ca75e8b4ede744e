"""The IEC 61000-4-11 presets run end to end through qxctl against qxsim on a pseudo-terminal: the
drops go out with the standard's times and angles, the voltage variation ramps exactly; and a
sequence that requires a complete record is checked and refused without one."""

import json
import os
import pathlib
import re

import pytest

from test_qxctl import qxctl

ANGLES = ["0.000000", "90.000000", "180.000000", "270.000000"]


def shortened(name, tmp_path):
    """The shipped sequence `name` with its waits and intervals 100 times shorter, though still longer
    than its drops (which run on in the instrument), so that a measurement after one sees UT again.
    What is sent, drop times and angles included, is as shipped."""
    sequence = json.loads((pathlib.Path(os.environ["QX_PRESETS"]) / (name + ".json")).read_text())
    longest = 0  # of the drops so far
    for step in sequence["steps"]:
        longest = max(longest, step.get("drop", {}).get("time", 0))
        for key in ("wait", "interval"):
            if key in step:
                step[key] = max(step[key] / 100, longest + 0.2 if longest else 0)
    path = tmp_path / (name + ".json")
    path.write_text(json.dumps(sequence))
    return path


def drops(wire):
    """Each drop's start angle and time, (angle, time), in the order sent."""
    sent = [c.split(" ", 1) for c in wire if c.startswith(("OUTP:STAR:PHAS ", "OUTP:DROP"))]
    assert [header for header, *_ in sent] == ["OUTP:STAR:PHAS", "OUTP:DROP"] * (len(sent) // 2), sent
    return [(angle[1], time[1]) for angle, time in zip(sent[::2], sent[1::2])]


@pytest.mark.parametrize("preset, model, opening, expected", [
    ("iec-61000-4-11-interruption-half-cycle-50hz", "7103QX", ["VOLT:RANG 300.000000", "FREQ 50.000000", "VOLT 230.000000"],
     [(angle, "0.010000") for angle in ANGLES for _ in range(3)]),
    ("iec-61000-4-11-interruption-one-cycle-60hz", "7101QX", ["VOLT:RANG 150.000000", "FREQ 60.000000", "VOLT 120.000000"],
     [(angle, "0.016667") for angle in ANGLES for _ in range(3)]),
    ("iec-61000-4-11-short-interruption-60hz", "7103QX", ["VOLT:RANG 150.000000", "FREQ 60.000000", "VOLT 120.000000"],
     [("0.000000", "5.000000")] * 3),
    ("iec-61000-4-11-interruption-half-cycle-60hz", "7101QX", ["VOLT:RANG 150.000000", "FREQ 60.000000",
                                                               "VOLT 120.000000"],
     [(angle, "0.008333") for angle in ANGLES for _ in range(3)]),
    ("iec-61000-4-11-interruption-one-cycle-50hz", "7103QX", ["VOLT:RANG 300.000000", "FREQ 50.000000",
                                                              "VOLT 230.000000"],
     [(angle, "0.020000") for angle in ANGLES for _ in range(3)]),
    ("iec-61000-4-11-short-interruption-50hz", "7101QX", ["VOLT:RANG 300.000000", "FREQ 50.000000", "VOLT 230.000000"],
     [("0.000000", "5.000000")] * 3),
])
def test_an_interruption_preset_commands_the_standards_drops(simulator, tmp_path, preset, model, opening, expected):
    sim = simulator("--model", model)
    run = qxctl("-r", sim.resource, "run", str(shortened(preset, tmp_path)))
    # settings, output, waits, measures; the drops; a wait and a measure after each angle but the last
    runs = 7 + len(expected) + 2 * (len(expected) // 3 - 1)
    assert (run.returncode, run.stdout) == (0, f"completed: {runs} runs, {runs} passed, 0 failed\ncompleted\n"), run.stderr
    wire = sim.between_open_and_close()
    assert [c for c in wire if c.startswith(("VOLT:RANG ", "FREQ ", "VOLT "))][:3] == opening
    assert drops(wire) == expected
    assert wire[-3:] == ["OUTP 0", "SYST:ERR?", ":SYST:ERR?"]


def test_the_voltage_variation_ramps_down_to_70_percent_and_back_in_2_s_each(simulator, tmp_path):
    sim = simulator()
    run = qxctl("-r", sim.resource, "run", str(shortened("iec-61000-4-11-voltage-variation-50hz", tmp_path)))
    assert run.returncode == 0, run.stderr
    assert "ramp voltage=230..161;seconds=2;steps=10: pass" in run.stderr
    sim.stop()
    received = [line.removesuffix("\\n").split(" < ", 1) for line in sim.transcript.read_text().splitlines()
                if " < " in line]
    settings = [(float(when), command) for when, command in received if command.startswith("VOLT ")]
    down = [f"VOLT {230 - 6.9 * i:.6f}" for i in range(11)]
    # Each ramp's first value is the voltage already set: the driver does not send it again.
    assert [command for _, command in settings] == down + down[::-1][1:]
    # Software-timed: each ramp's steps 0.2 s apart, the last one 2 s after the start.
    for first, last in [(1, 10), (11, 20)]:
        assert 1.75 <= settings[last][0] - settings[first][0] <= 2.4, settings


def test_a_sequence_that_requires_a_record_is_checked_and_refused_without_one(simulator, tmp_path):
    sequence = tmp_path / "required.json"
    sequence.write_text('{"name": "signed", "record": "required", "steps": [{"output": "on"}, {"output": "off"}]}')
    run = qxctl("run", "--check", str(sequence))
    refusal = f"qxctl: run: {sequence}: the sequence requires a complete record; missing operator, EUT " \
              "(give --operator NAME and --eut NAME[,SERIAL])\n"
    assert (run.returncode, run.stdout, run.stderr) == (1, "", refusal)
    run = qxctl("--json", "run", "--check", str(sequence), "--eut", "PSU-1,42")
    assert run.returncode == 1 and json.loads(run.stdout)["error"]["message"].endswith("missing operator (give "
                                                                                      "--operator NAME and --eut NAME[,SERIAL])")
    run = qxctl("--json", "run", "--check", str(sequence), "--operator", "A. Tester", "--eut", "PSU-1,42")
    assert (run.returncode, json.loads(run.stdout)["missing"]) == (0, []), run.stderr

    # Optional by default: the check says what is missing and passes.
    optional = tmp_path / "optional.json"
    optional.write_text('{"steps": [{"output": "off"}]}')
    run = qxctl("run", "--check", str(optional), "--operator", "A. Tester")
    assert (run.returncode, run.stdout.splitlines()[-1]) == (0, "record: missing EUT")

    sim = simulator()
    run = qxctl("-r", sim.resource, "run", str(sequence), "--operator", "A. Tester")
    assert (run.returncode, run.stdout) == (2, "")
    assert re.search(r"missing EUT .*; nothing was sent\n$", run.stderr), run.stderr
    assert sim.between_open_and_close() == []
