"""Python access to the QX Series programmable AC power sources (7101QX, 7103QX) through the
ZEV_QX70 driver library (libzev_qx70.so.1, or the file QX70_LIBRARY names).

    import qx70
    with qx70.Source("GPIB0::5::INSTR") as src:
        src.voltage = 120.0
        src.output = True
        print(src.measure("voltage"))
"""

from ._driver import MEASUREMENTS
from ._sequences import RunResult
from ._source import Identity, Limits, QXError, SettingChanged, Source

__all__ = ["Source", "QXError", "SettingChanged", "Limits", "Identity", "RunResult", "MEASUREMENTS"]
__version__ = "1.0.0"
