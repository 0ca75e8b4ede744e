// The driver's private status machinery, shared by all driver functions.
#pragma once

#include "ivi/ivi.h"

// Asks the instrument for its error state when status querying is on, a check is due and the
// session is not simulated. Runs inside the caller's lock.
ViStatus ZEV_QX70_CheckStatus(ViSession vi);
// The session's check-status callback: "SYST:ERR?" and the error number of the answer.
ViStatus ZEV_QX70_CheckStatusCallback(ViSession vi, ViSession io);
// Invalidates every cached attribute, sends "*CLS" (not when simulated) and waits 0.03 s.
ViStatus ZEV_QX70_DefaultInstrSetup(ViSession vi);

namespace zev {
// The ending of the functions that leave the instrument cleared: the status check first, so that
// it sees what the function's own commands caused, then the clearing, then `pause` seconds for the
// instrument to settle. The clearing leaves no error behind, so a check is due afterwards only if
// it was before. A failed check leaves the instrument's error number and text in the error
// information and only empties the cache.
ViStatus checkStatusThenClear(ViSession vi, double pause = 0.0);
// The ending of most functions: the status check, then `pause` seconds when it passed.
ViStatus checkStatusThenPause(ViSession vi, double pause);
} // namespace zev

extern const IviStringValueTableEntry statusDescriptions[];
