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
    assert sim.between_open_and_close() == [
        "VOLT:RANG 150.000000", "SYST:ERR?",
        "VOLT 100.000000", "SYST:ERR?",
        "OUTP 1", "SYST:ERR?",
        "VOLT?", "SYST:ERR?", "VOLT:RANG?", "SYST:ERR?", "OUTP?", "SYST:ERR?", "*CLS",
        "INST:NSEL 3", "MEAS:CURR?",
        "INST:COUP 1", "MEAS:POW?",
        "INST:COUP 1", "OUTP:STAR:STAT 1", "OUTP:STAR:PHAS 180.000000", "OUTP:DROP 0.050000", "SYST:ERR?", "*CLS",
        "*SAV 2", "SYST:ERR?"]


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
        assert str(refused.value) == "Frequency outside the instrument's limits (status 0xBFFA4001)"
        with pytest.raises(qx70.QXError, match=r"Start Phase \(status 0xBFFA0010\)"):
            src.drop(angle=45)
        with pytest.raises(ValueError):
            src.range = "medium"
        with pytest.raises(ValueError):
            src.measure("energy")
    received = sim.between_open_and_close()
    assert not any(m.startswith(("FREQ ", "OUTP:DROP", "VOLT:RANG ", "MEAS")) for m in received), received


def test_instrument_errors_time_outs_and_closed_sessions_raise(simulator):
    sim = simulator("--error-after", "VOLT=-222")
    src = qx70.Source(sim.resource)
    with pytest.raises(qx70.QXError, match="Instrument error detected"):
        src.voltage = 10
    src.close()
    src.close()
    with pytest.raises(qx70.QXError) as closed:
        src.output = True
    assert closed.value.status == -1074130544  # 0xBFFA1190, an invalid session handle
    with pytest.raises(qx70.QXError, match="Timeout expired"):
        qx70.Source(simulator("--silent").resource)
    with pytest.raises(qx70.QXError, match="^cannot open GPIB0::5::FOO: Invalid resource reference"):
        qx70.Source("GPIB0::5::FOO")
