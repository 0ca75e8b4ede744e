"""A QX Series source opened through the ZEV_QX70 driver."""

from __future__ import annotations

import ctypes
import math
import threading
import warnings
from typing import NamedTuple

from . import _driver as d
from . import _sequences
from ._sequences import RunResult

_CHANNEL = b"1"
# The settings the instrument lowers by itself when the range changes and they no longer fit.
_FOLLOWING_THE_RANGE = ("voltage", "current")


class QXError(Exception):
    """A driver or instrument error: the driver's status code and its message."""

    def __init__(self, status: int, message: str) -> None:
        super().__init__(f"{message} (status 0x{status & 0xFFFFFFFF:08X})")
        self.status = status
        self.message = message


class SettingChanged(UserWarning):
    """The instrument changed a setting by itself, e.g. lowered the voltage to fit a new range."""


class Limits(NamedTuple):
    """The instrument's limits, learnt when the session opened."""

    voltage: float  #: highest voltage (V), on the high range
    current: float  #: current limit (A), on the low range
    frequency_low: float  #: lowest frequency (Hz)
    frequency_high: float  #: highest frequency (Hz)
    model: int  #: 7101 (single-phase) or 7103 (three-phase)


class Identity(NamedTuple):
    model: str  #: e.g. "7103QX"
    serial: str
    firmware: str


def _number(value: float) -> str:
    """The shortest text that reads back as the same number: 300, 6.67."""
    return repr(float(value)).removesuffix(".0")


def _limit_problem(name: str, value: float, limits: Limits, range_volts: float) -> str:
    """What is wrong with a value the driver refused as outside the limits of the present range."""
    unit = d.SETTINGS[name].unit
    amount = f"{_number(value)} {unit}"
    if not math.isfinite(value):
        return f"a {name} must be a finite number"
    if value < 0 and name != "frequency":
        return f"{amount}: a {name} cannot be negative"
    if name == "frequency":
        if value < limits.frequency_low:
            return f"{amount} is below this instrument's {_number(limits.frequency_low)} Hz minimum"
        return f"{amount} is above this instrument's {_number(limits.frequency_high)} Hz maximum"
    if name == "voltage":
        where = " on the low range" if range_volts <= limits.voltage / 2 else ""
        return f"{amount} is above this instrument's {_number(range_volts)} V limit{where}"
    halved = range_volts > limits.voltage / 2
    limit, where = (limits.current / 2, " on the high range") if halved else (limits.current, "")
    return f"{amount} is above this instrument's {_number(limit)} A limit{where}"


def _failure_text(vi: int, status: int) -> str:
    """The driver's message for `status` and what its error information adds."""
    lib = d.library()
    message = d.text_buffer()
    lib.ZEV_QX70_error_message(vi, status, message)
    text = d.REFUSAL_TEXTS.get(status) or d.decode(message).rstrip(".") or "Unknown status"
    elaboration = d.text_buffer()
    if lib.ZEV_QX70_GetErrorInfo(vi, None, None, elaboration) >= 0:
        extra = d.decode(elaboration)
        if extra and extra != text:
            text += ": " + extra
    return text


def _listed(errors: list[tuple[int, str]]) -> str:
    return "; ".join(f'{code},"{message}"' for code, message in errors)


class Source:
    """A QX Series source (7101QX or 7103QX).

    >>> with qx70.Source("ASRL1::INSTR", baud=19200) as src:
    ...     src.voltage = 120.0
    ...     src.output = True
    ...     print(src.measure("power", phase=1))

    The session opens with an identification query and without a reset. Every driver error
    raises QXError, and so does an error the instrument holds after a call that may have changed
    it (a setting, the output, a register, a drop, a measurement's phase selection). A setting the
    instrument changes by itself warns with SettingChanged. A session may be used from several
    threads.
    """

    def __init__(self, resource: str, baud: int = 9600) -> None:
        self.resource = resource
        self._vi = d.ViSession(d.VI_NULL)
        status = d.library().ZEV_QX70_init(resource.encode(), 1, 0, ctypes.byref(self._vi), baud)
        if status < 0:
            raise QXError(status, f"cannot open {resource}: " + _failure_text(d.VI_NULL, status))
        self._closing = threading.Lock()

    # -- session ------------------------------------------------------------------------------

    def close(self) -> None:
        """Closes the session; later calls raise QXError. Closing twice does nothing."""
        with self._closing:
            vi, self._vi = self._vi.value, d.ViSession(d.VI_NULL)
        if vi != d.VI_NULL:
            self._check(d.library().ZEV_QX70_close(vi), vi)

    def __enter__(self) -> Source:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        vi = getattr(self, "_vi", None)
        if vi is not None and vi.value != d.VI_NULL:
            d.library().ZEV_QX70_close(vi.value)

    @property
    def session(self) -> int:
        """The driver's session handle (0 once closed), for calls the module does not wrap."""
        return self._vi.value

    def _check(self, status: int, vi: int | None = None) -> int:
        if status < 0:
            raise QXError(status, _failure_text(self._vi.value if vi is None else vi, status))
        return status

    def _call(self, name: str, *args: object) -> int:
        return self._check(getattr(d.library(), name)(self._vi.value, *args))

    def _changing(self, name: str, *args: object) -> int:
        """A call that may change the instrument, then its error queue: what the instrument
        holds afterwards is this call's error, also where the driver's own check did not look."""
        try:
            status = self._call(name, *args)
        except QXError as error:
            if error.status != d.ERROR_INSTRUMENT_STATUS:
                raise
            # The driver's check took the first error out of the queue; others may follow it.
            queued = self.errors()
            if not queued:
                raise
            raise QXError(error.status, f"{error.message}; then {_listed(queued)}") from None
        queued = self.errors()
        if queued:
            raise QXError(d.ERROR_INSTRUMENT_STATUS, f"the instrument reports {_listed(queued)}")
        return status

    def _query(self, name: str) -> float:
        value = d.ViReal64()
        self._call("ZEV_QX70_QueryOutputFunction", _CHANNEL, d.SETTINGS[name].query, ctypes.byref(value))
        return value.value

    def _set(self, name: str, value: float) -> None:
        try:
            self._changing(d.SETTINGS[name].setter, _CHANNEL, value)
        except QXError as error:
            if error.status not in d.LIMIT_REFUSALS:
                raise
            range_volts = self._query("range") if name != "frequency" else 0.0
            raise QXError(error.status, _limit_problem(name, value, self.limits(), range_volts)) from None

    # -- settings -----------------------------------------------------------------------------

    @property
    def voltage(self) -> float:
        """The programmed voltage (V). A value beyond the present range's limit raises, saying
        which limit ("400 V is above this instrument's 300 V limit"); nothing is sent."""
        return self._query("voltage")

    @voltage.setter
    def voltage(self, volts: float) -> None:
        self._set("voltage", float(volts))

    @property
    def frequency(self) -> float:
        """The programmed frequency (Hz)."""
        return self._query("frequency")

    @frequency.setter
    def frequency(self, hertz: float) -> None:
        self._set("frequency", float(hertz))

    @property
    def current(self) -> float:
        """The current limit (A); the high range allows half of the instrument's limit."""
        return self._query("current")

    @current.setter
    def current(self, amperes: float) -> None:
        self._set("current", float(amperes))

    @property
    def range(self) -> float:
        """The voltage range, read as its highest voltage (V); set as "low" or "high". A voltage or
        current setting that no longer fits is lowered by the instrument: warned with its new value
        as SettingChanged."""
        return self._query("range")

    @range.setter
    def range(self, selector: str) -> None:
        selectors = {"low": d.RANGE_LOW, "high": d.RANGE_HIGH}
        if selector not in selectors:
            raise ValueError(f'range must be "low" or "high", not {selector!r}')
        before = [self._query(name) for name in _FOLLOWING_THE_RANGE]
        self._changing(d.SETTINGS["range"].setter, _CHANNEL, selectors[selector])
        for name, old in zip(_FOLLOWING_THE_RANGE, before):
            new, unit = self._query(name), d.SETTINGS[name].unit
            if new != old:
                warnings.warn(f"the instrument changed the {name} setting from {_number(old)} {unit} to "
                              f"{_number(new)} {unit}", SettingChanged, stacklevel=2)

    @property
    def output(self) -> bool:
        """True while the output relay is closed."""
        state = d.ViInt32()
        self._call("ZEV_QX70_QueryOutputRelay", _CHANNEL, ctypes.byref(state))
        return state.value != 0

    @output.setter
    def output(self, on: bool) -> None:
        self._changing("ZEV_QX70_ConnectOutput" if on else "ZEV_QX70_DisconnectOutput", _CHANNEL)

    def remote(self, on: bool = True) -> None:
        """Remote (True) or local (False) operation of the front panel."""
        self._changing("ZEV_QX70_RemoteOnOff", _CHANNEL, d.REMOTE if on else d.LOCAL)

    def save(self, register: int) -> None:
        """Saves the settings in a register."""
        self._changing("ZEV_QX70_SaveRegister", _CHANNEL, int(register))

    def recall(self, register: int) -> None:
        """Recalls the settings of a register."""
        self._changing("ZEV_QX70_RecallRegister", _CHANNEL, int(register))

    # -- measuring and testing ------------------------------------------------------------------

    def measure(self, kind: str, phase: int | None = None) -> float:
        """Measures the output: kind is one of MEASUREMENTS ("voltage", "current", "frequency",
        "peak-current", "crest-factor", "apparent-power", "power-factor", "power"); phase None
        or 0 for all phases coupled, 1 to 3 for one phase."""
        if kind not in d.MEASUREMENTS:
            raise ValueError(f"unknown measurement {kind!r}: one of {', '.join(d.MEASUREMENTS)}")
        value = d.ViReal64()
        phase = d.PHASE_ALL if phase is None else int(phase)
        self._changing("ZEV_QX70_PhaseMeasureOutput", _CHANNEL, d.MEASUREMENTS[kind], phase, ctypes.byref(value))
        return value.value

    def drop(self, angle: float | None = None, time: float | None = None, phase: int = d.PHASE_ALL) -> None:
        """Drops the output: starting at `angle` (0, 90, 180 or 270 degrees) or at once, for
        `time` seconds or the instrument's own drop time, on one phase (1 to 3) or all (0)."""
        self._changing("ZEV_QX70_PhaseDropCommands", _CHANNEL, 0 if angle is None else 1,
                   0.0 if angle is None else float(angle), 0.0 if time is None else float(time),
                   0 if time is None else 1, int(phase))

    # -- identity and errors ----------------------------------------------------------------------

    def limits(self) -> Limits:
        """The instrument's voltage, current and frequency limits and its model number."""
        values = [d.ViReal64() for _ in range(4)]
        model = d.ViInt32()
        low, high, current, voltage = values
        self._call("ZEV_QX70_ConfigureLimits", _CHANNEL, *(ctypes.byref(v) for v in values), ctypes.byref(model))
        return Limits(voltage.value, current.value, low.value, high.value, model.value)

    def identify(self) -> Identity:
        """The instrument's model, serial number and firmware revision."""
        model, serial = d.text_buffer(512), d.text_buffer(257)
        driver, firmware = d.text_buffer(), d.text_buffer()
        self._call("ZEV_QX70_Model_Number", model)
        self._call("ZEV_QX70_Serial_Number", serial)
        self._call("ZEV_QX70_revision_query", driver, firmware)
        return Identity(d.decode(model), d.decode(serial), d.decode(firmware))

    def run(self, sequence: str, *, operator: str | None = None, eut: str | None = None,
            db: str | None = None) -> RunResult:
        """Runs a test sequence (a JSON file, or a shipped sequence's name) and files its test
        record: the instrument's identity, this session's resource, `operator`, `eut`
        ("NAME[,SERIAL]"), the sequence's text hash, every step run. `db`: an SQLite file or a
        PostgreSQL URI (default: the local records file). A step that fails, an abort or an error
        returns normally (see verdict and ending); a sequence the instrument cannot run, a required
        record field missing, or a record that cannot be kept raises QXError with nothing sent.
        Ctrl-C aborts the run (the output goes off), files its record, and raises
        KeyboardInterrupt."""
        status, result = _sequences.run(self._vi.value, self.resource, sequence, operator, eut, db)
        if status < 0:
            raise QXError(status, str(result.get("error") or result.get("store_message") or
                                      _failure_text(self._vi.value, status)))
        return RunResult(*(result[field] for field in RunResult._fields))

    def errors(self, most: int = 64) -> list[tuple[int, str]]:
        """Reads the instrument's error queue until it is empty (at most `most` entries)."""
        found: list[tuple[int, str]] = []
        for _ in range(most):
            code, message = d.ViInt32(), d.text_buffer()
            self._call("ZEV_QX70_error_query", ctypes.byref(code), message)
            if code.value == 0:
                break
            found.append((code.value, d.decode(message)))
        return found
