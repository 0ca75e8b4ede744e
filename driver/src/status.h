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

extern const IviStringValueTableEntry statusDescriptions[];
