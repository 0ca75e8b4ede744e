"""The qx70 module against qxsim on a pseudo-terminal: what each property and method sends, what
it gives back, and the errors it raises."""

import pytest

import qx70


def test_settings_and_measurements_send_exactly_the_driver_calls(simulator):
    sim = simulator("--load", "50")
    with qx70.Source(sim.resource, baud=19200) as src:
        src.range = "low"
        src.voltage = 100
        src.output = True
        assert (src.voltage, src.range, src.output) == (100.0, 150.0, True)
        assert src.measure("current", phase=3) == pytest.approx(2.0)
        assert src.measure("power") == pytest.approx(600.0)  # all phases, on the three-phase source too
        src.drop(angle=180, time=0.05, phase=0)
        src.save(2)
    queue = [":SYST:ERR?"]  # read after each call that may have changed the instrument
    setpoints = ["VOLT?", "SYST:ERR?", "CURR?", "SYST:ERR?"]  # around a range change
    assert sim.between_open_and_close() == [
        *setpoints, "VOLT:RANG 150.000000", "SYST:ERR?", *queue, *setpoints,
        "VOLT 100.000000", "SYST:ERR?", *queue,
        "OUTP 1", "SYST:ERR?", *queue,
        "VOLT?", "SYST:ERR?", "VOLT:RANG?", "SYST:ERR?", "OUTP?", "SYST:ERR?", "*CLS",
        "INST:NSEL 3", "MEAS:CURR?", *queue,
        "INST:COUP 1", "MEAS:POW?", *queue,
        "INST:COUP 1", "OUTP:STAR:STAT 1", "OUTP:STAR:PHAS 180.000000", "OUTP:DROP 0.050000", "SYST:ERR?", "*CLS",
        *queue, "*SAV 2", "SYST:ERR?", *queue]


def test_identity_and_limits_come_from_the_instrument(simulator):
    sim = simulator("--model", "7101QX", "--serial", "SN4711", "--current-limit", "5", "--freq-low", "45")
    with qx70.Source(sim.resource) as src:
        assert src.identify() == qx70.Identity("7101QX", "SN4711", "1.02")
        assert src.limits() == qx70.Limits(300.0, 5.0, 45.0, 500.0, 7101)
        assert src.limits().model == 7101


def test_driver_refusals_raise_with_the_drivers_message_and_send_nothing(simulator):
    sim = simulator()
    with qx70.Source(sim.resource) as src:
        with pytest.raises(qx70.QXError) as refused:
            src.frequency = 10
        assert refused.value.status == -1074118655  # 0xBFFA4001
        assert str(refused.value) == "10 Hz is below this instrument's 16 Hz minimum (status 0xBFFA4001)"
        for name, value, message in [("voltage", 400, "400 V is above this instrument's 300 V limit"),
                                     ("voltage", -5, "-5 V: a voltage cannot be negative"),
                                     ("current", 50, "50 A is above this instrument's 4.6 A limit on the high range")]:
            with pytest.raises(qx70.QXError) as refused:
                setattr(src, name, value)
            assert refused.value.message == message
        with pytest.raises(qx70.QXError, match=r"Start Phase \(status 0xBFFA0010\)"):
            src.drop(angle=45)
        with pytest.raises(ValueError):
            src.range = "medium"
        with pytest.raises(ValueError):
            src.measure("energy")
    received = sim.between_open_and_close()
    assert not any(m.startswith(("FREQ ", "OUTP:DROP", "VOLT:RANG ", "MEAS", "VOLT ", "CURR ")) for m in received)


def test_instrument_errors_time_outs_and_closed_sessions_raise(simulator):
    sim = simulator("--error-after", "VOLT=-222")
    src = qx70.Source(sim.resource)
    with pytest.raises(qx70.QXError, match="Instrument error detected"):
        src.voltage = 10
    src.close()
    with qx70.Source(simulator("--model", "7101QX").resource) as single:
        single.voltage = 200
        with pytest.warns(qx70.SettingChanged, match="^the instrument changed the voltage setting from 200 V to 150 V$"):
            single.range = "low"
        with pytest.raises(qx70.QXError, match='^the instrument reports -222,"Data out of range"'):
            single.measure("voltage", phase=2)  # the driver checks nothing after a measurement
    src.close()
    with pytest.raises(qx70.QXError) as closed:
        src.output = True
    assert closed.value.status == -1074130544  # 0xBFFA1190, an invalid session handle
    with pytest.raises(qx70.QXError, match="Timeout expired"):
        qx70.Source(simulator("--silent").resource)
    with pytest.raises(qx70.QXError, match="^cannot open GPIB0::5::FOO: Invalid resource reference"):
        qx70.Source("GPIB0::5::FOO")


def test_a_run_from_python_files_its_record_and_refuses_what_it_cannot_do(simulator, tmp_path):
    import hashlib
    import json
    import os
    import subprocess
    sim = simulator("--model", "7101QX", "--serial", "SN4711")
    store = tmp_path / "records.sqlite"
    sequence = tmp_path / "bench.json"
    sequence.write_text('{"name": "Python bench", "record": "required", "steps": [{"set": {"voltage": 120}}, '
                        '{"output": "on"}, {"measure": ["voltage"], "expect": {"voltage": [0, 1]}}, '
                        '{"output": "off"}]}')
    with qx70.Source(sim.resource) as src:
        with pytest.raises(qx70.QXError, match="test record must name the operator and EUT"):
            src.run(str(sequence), db=str(store))
        result = src.run(str(sequence), operator="A. Tester", eut="PSU-12,E-77", db=str(store))
    wire = sim.between_open_and_close()
    assert wire[0] == "*IDN?" and wire.count("OUTP 1") == 1  # the refused run sent nothing; the record's run did
    assert (result.ending, result.verdict, result.runs, result.passed, result.failed) == \
        ("completed", "fail", 4, 3, 1)
    assert (result.record, result.store, result.store_message) == (1, str(store), "")

    shown = subprocess.run([os.environ["QXCTL"], "records", "show", "last", "--db", str(store), "--json"],
                           capture_output=True, text=True, timeout=30)
    assert shown.returncode == 0, shown.stderr
    record = json.loads(shown.stdout)
    assert record["uuid"] == result.uuid
    assert record["software"] == "qx70"
    assert record["instrument"] == {"model": "7101QX", "serial": "SN4711", "firmware": "1.02",
                                    "resource": sim.resource}
    assert (record["operator"], record["eut"]) == ("A. Tester", {"name": "PSU-12", "serial": "E-77"})
    assert record["sequence"]["sha256"] == hashlib.sha256(sequence.read_bytes()).hexdigest()
