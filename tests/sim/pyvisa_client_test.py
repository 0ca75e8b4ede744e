"""qxsim driven by an independent client: PyVISA with the pure-Python pyvisa-py backend.

Usage: pyvisa_client_test.py QXSIM_PATH. Exits 77 (skipped) when pyvisa-py is not installed.
"""
import os
import select
import signal
import subprocess
import sys
import tempfile

SKIP = 77

try:
    import pyvisa
    import pyvisa_py  # noqa: F401  (the '@py' backend)
except ImportError as error:
    print(f"SKIPPED: PyVISA with pyvisa-py is not available ({error}); "
          "install the Debian package python3-pyvisa-py", flush=True)
    sys.exit(SKIP)


def start(qxsim, link):
    sim = subprocess.Popen([qxsim, "--model", "7103QX", "--pty", link],
                           stdout=subprocess.PIPE, text=True)
    ready, _, _ = select.select([sim.stdout], [], [], 10)
    line = sim.stdout.readline() if ready else ""
    if not line.startswith("qxsim: 7103QX on "):
        sim.kill()
        raise AssertionError(f"qxsim did not get ready: {line!r}")
    return sim


def stop(sim):
    sim.send_signal(signal.SIGTERM)
    return sim.wait(timeout=10)


def check(label, actual, expected):
    if actual != expected:
        raise AssertionError(f"{label}: expected {expected!r}, got {actual!r}")
    print(f"ok  {label}: {actual!r}")


def main():
    qxsim = sys.argv[1]
    with tempfile.TemporaryDirectory() as directory:
        link = os.path.join(directory, "qx")
        sim = start(qxsim, link)
        try:
            rm = pyvisa.ResourceManager("@py")
            instrument = rm.open_resource(f"ASRL{link}::INSTR", read_termination="\n",
                                          write_termination="\n", timeout=3000)
            check("*IDN?", instrument.query("*IDN?"), "ZE,7103QX,SN000123,1.02")
            instrument.write("VOLT 117.5")
            check("VOLT?", float(instrument.query("VOLT?")), 117.5)
            check("SYST:ERR?", instrument.query("SYST:ERR?"), '0,"No error"')
            instrument.write("VOLT 1000")
            check("SYST:ERR? after a range error", instrument.query("SYST:ERR?"),
                  '-222,"Data out of range"')
            instrument.close()
            rm.close()
        finally:
            status = stop(sim)
        check("qxsim exit status", status, 0)
        check("link removed", os.path.lexists(link), False)
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
