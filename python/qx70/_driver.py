"""The ZEV_QX70 driver library and the C prototypes of the functions the module uses."""

from __future__ import annotations

import ctypes
import os
from ctypes import POINTER, c_char_p, c_double, c_int16, c_int32, c_uint16, c_uint32
from typing import NamedTuple

ViSession = c_uint32
ViStatus = c_int32
ViInt32 = c_int32
ViInt16 = c_int16
ViReal64 = c_double
ViBoolean = c_uint16

VI_NULL = 0
TEXT_SIZE = 256  # the driver's text buffers (model: 512, serial number: 257)

# Values of zev_qx70.h.
QUERY_VOLTAGE = 1
QUERY_CURRENT_LIMIT = 2
QUERY_VOLTAGE_RANGE = 3
QUERY_FREQUENCY = 9
RANGE_LOW = 1.0
RANGE_HIGH = 2.0
LOCAL = 0
REMOTE = 1
PHASE_ALL = 0
ERROR_INSTRUMENT_STATUS = -1074135039  # 0xBFFA0001
ERROR_OVER_VOLTAGE = -1074126847  # 0xBFFA2001
ERROR_OVER_CURRENT = -1074126846  # 0xBFFA2002
ERROR_FREQUENCY_OUT_OF_LIMITS = -1074118655  # 0xBFFA4001
ERROR_NOT_SUPPORTED = -1074118654  # 0xBFFA4002
# Refusals the driver returns without a text of its own.
REFUSAL_TEXTS = {
    ERROR_FREQUENCY_OUT_OF_LIMITS: "Frequency outside the instrument's limits",
    ERROR_NOT_SUPPORTED: "Not supported by the connected model",
}
LIMIT_REFUSALS = (ERROR_OVER_VOLTAGE, ERROR_OVER_CURRENT, ERROR_FREQUENCY_OUT_OF_LIMITS)


class Setting(NamedTuple):
    unit: str  #: of the value read back; the range reads back as its highest voltage
    setter: str  #: the driver function; the range takes RANGE_LOW or RANGE_HIGH
    query: int  #: the function code of ZEV_QX70_QueryOutputFunction


# The settable quantities, as qxctl and sequence files name them.
SETTINGS = {
    "voltage": Setting("V", "ZEV_QX70_GenerateACVoltage", QUERY_VOLTAGE),
    "frequency": Setting("Hz", "ZEV_QX70_GenerateACFrequency", QUERY_FREQUENCY),
    "current": Setting("A", "ZEV_QX70_GenerateACCurrent", QUERY_CURRENT_LIMIT),
    "range": Setting("V", "ZEV_QX70_GenerateACVoltageRange", QUERY_VOLTAGE_RANGE),
}
MEASUREMENTS = {
    "voltage": 2,
    "current": 4,
    "frequency": 9,
    "peak-current": 10,
    "crest-factor": 11,
    "apparent-power": 12,
    "power-factor": 13,
    "power": 14,
}

_S = ViSession
_C = c_char_p  # channel names, resources, texts
_PROTOTYPES = {
    "ZEV_QX70_init": [_C, ViBoolean, ViBoolean, POINTER(ViSession), ViInt32],
    "ZEV_QX70_close": [_S],
    "ZEV_QX70_error_message": [_S, ViStatus, _C],
    "ZEV_QX70_error_query": [_S, POINTER(ViInt32), _C],
    "ZEV_QX70_GetErrorInfo": [_S, POINTER(ViStatus), POINTER(ViStatus), _C],
    "ZEV_QX70_revision_query": [_S, _C, _C],
    "ZEV_QX70_Model_Number": [_S, _C],
    "ZEV_QX70_Serial_Number": [_S, _C],
    "ZEV_QX70_ConfigureLimits": [_S, _C] + [POINTER(ViReal64)] * 4 + [POINTER(ViInt32)],
    "ZEV_QX70_GenerateACVoltageRange": [_S, _C, ViReal64],
    "ZEV_QX70_GenerateACVoltage": [_S, _C, ViReal64],
    "ZEV_QX70_GenerateACCurrent": [_S, _C, ViReal64],
    "ZEV_QX70_GenerateACFrequency": [_S, _C, ViReal64],
    "ZEV_QX70_ConnectOutput": [_S, _C],
    "ZEV_QX70_DisconnectOutput": [_S, _C],
    "ZEV_QX70_QueryOutputRelay": [_S, _C, POINTER(ViInt32)],
    "ZEV_QX70_QueryOutputFunction": [_S, _C, ViInt32, POINTER(ViReal64)],
    "ZEV_QX70_RemoteOnOff": [_S, _C, ViInt32],
    "ZEV_QX70_SaveRegister": [_S, _C, ViInt32],
    "ZEV_QX70_RecallRegister": [_S, _C, ViInt32],
    "ZEV_QX70_MeasureOutput": [_S, _C, ViInt32, POINTER(ViReal64)],
    "ZEV_QX70_PhaseMeasureOutput": [_S, _C, ViInt32, ViInt16, POINTER(ViReal64)],
    "ZEV_QX70_PhaseDropCommands": [_S, _C, ViInt32, ViReal64, ViReal64, ViBoolean, ViInt16],
}

_library: ctypes.CDLL | None = None


def library() -> ctypes.CDLL:
    """The driver, loaded once: the file QX70_LIBRARY names, else libzev_qx70.so.1."""
    global _library
    if _library is None:
        lib = ctypes.CDLL(os.environ.get("QX70_LIBRARY") or "libzev_qx70.so.1")
        for name, argtypes in _PROTOTYPES.items():
            function = getattr(lib, name)
            function.argtypes = argtypes
            function.restype = ViStatus
        _library = lib
    return _library


def text_buffer(size: int = TEXT_SIZE) -> ctypes.Array[ctypes.c_char]:
    return ctypes.create_string_buffer(size)


def decode(buffer: ctypes.Array[ctypes.c_char]) -> str:
    return buffer.value.decode("latin-1")
