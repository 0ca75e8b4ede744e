"""qxsim driven by an independent client: PyVISA with the pure-Python pyvisa-py backend.

Usage: pyvisa_client_test.py QXSIM_PATH. Fails when PyVISA, pyvisa-py or PySerial is missing.
"""
import os
import select
import signal
import subprocess
import sys
import tempfile

try:
    import pyvisa
    import pyvisa_py  # noqa: F401  (the '@py' backend)
    import serial  # noqa: F401  (pyvisa-py's serial sessions)
except ImportError as error:
    print(f"FAILED: {error}; scripts/deps.sh installs python3-pyvisa-py and python3-serial", flush=True)
    sys.exit(1)


def check(label, actual, expected):
    if actual != expected:
        raise AssertionError(f"{label}: expected {expected!r}, got {actual!r}")
    print(f"ok  {label}: {actual!r}")


with tempfile.TemporaryDirectory() as directory:
    link = os.path.join(directory, "qx")
    sim = subprocess.Popen([sys.argv[1], "--model", "7103QX", "--pty", link], stdout=subprocess.PIPE, text=True)
    ready = sim.stdout.readline() if select.select([sim.stdout], [], [], 10)[0] else ""
    try:
        check("ready line", ready.startswith("qxsim: 7103QX on "), True)
        rm = pyvisa.ResourceManager("@py")
        instrument = rm.open_resource(f"ASRL{link}::INSTR", read_termination="\n", write_termination="\n",
                                      timeout=3000)
        check("*IDN?", instrument.query("*IDN?"), "ZE,7103QX,SN000123,1.02")
        instrument.write("VOLT 117.5")
        check("VOLT?", float(instrument.query("VOLT?")), 117.5)
        check("SYST:ERR?", instrument.query("SYST:ERR?"), '0,"No error"')
        instrument.write("VOLT 1000")
        check("SYST:ERR? after a range error", instrument.query("SYST:ERR?"), '-222,"Data out of range"')
        instrument.close()
        rm.close()
    finally:
        sim.send_signal(signal.SIGTERM)
        status = sim.wait(timeout=10)
    check("qxsim exit status", status, 0)
    check("link removed", os.path.lexists(link), False)
print("1 passed, 0 failed")
