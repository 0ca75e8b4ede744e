"""Test sequences with their test records, through the tools' library libqxsequences (the same
checks, run and record as `qxctl run`)."""

from __future__ import annotations

import ctypes
import json
import os
import sysconfig
import threading
from ctypes import c_char_p
from typing import NamedTuple

from . import _driver as d

_library: ctypes.CDLL | None = None


def library() -> ctypes.CDLL:
    """Loaded once: the file QX_SEQUENCES_LIBRARY names, else the one qxseries-tools installs."""
    global _library
    if _library is None:
        d.library()  # the driver first: the sequences run on its sessions
        path = os.environ.get("QX_SEQUENCES_LIBRARY") or os.path.join(
            "/usr/lib", sysconfig.get_config_var("MULTIARCH") or "", "qxseries", "libqxsequences.so.1")
        lib = ctypes.CDLL(path)
        lib.QX_RunSequence.argtypes = [d.ViSession, c_char_p, c_char_p, c_char_p, c_char_p, c_char_p, d.ViInt32,
                                       c_char_p]
        lib.QX_RunSequence.restype = d.ViStatus
        lib.QX_AbortSequence.argtypes = [d.ViSession, c_char_p]
        lib.QX_AbortSequence.restype = d.ViStatus
        _library = lib
    return _library


class RunResult(NamedTuple):
    """How a run ended and where its test record went."""

    ending: str  #: "completed", "aborted" or "error"
    verdict: str  #: "pass", "fail" or "incomplete"
    runs: int
    passed: int
    failed: int
    message: str  #: how it ended, in words
    record: int  #: the record's id in its store
    uuid: str  #: the record's id in every store
    store: str  #: where it was filed
    store_message: str  #: "" or, e.g., that it waits on the bench for the lab's server


def _text(value: str | None) -> bytes | None:
    return None if value is None else value.encode()


def run(vi: int, resource: str, sequence: str, operator: str | None, eut: str | None,
        db: str | None) -> tuple[int, dict[str, object]]:
    """QX_RunSequence on a thread of its own, so that Ctrl-C aborts it (the output goes off) and
    the run still ends, and is recorded, before the KeyboardInterrupt goes on."""
    buffer = ctypes.create_string_buffer(16384)
    outcome: list[int] = []
    worker = threading.Thread(target=lambda: outcome.append(library().QX_RunSequence(
        vi, os.fsencode(sequence), resource.encode(), _text(operator), _text(eut), _text(db), len(buffer), buffer)))
    worker.start()
    interrupted = False
    while worker.is_alive():
        try:
            worker.join(0.1)
        except KeyboardInterrupt:
            interrupted = True
            library().QX_AbortSequence(vi, b"operator (Ctrl-C)")
    text = buffer.value.decode("utf-8", "replace")
    result = json.loads(text) if text else {}
    if interrupted:
        raise KeyboardInterrupt(f"sequence aborted; {result.get('message', '')}")
    return outcome[0], result
