// What the driver learns about the instrument of each session while the session opens: the link
// kind, the model and the four limits. Every session keeps its own, so instruments of different
// models on different links work side by side; a session that never learnt them (simulated, or
// still opening) reports zeros.
#pragma once

#include "visa/visatype.h"
#include "zev_qx70.h"

namespace zev {

struct SessionState {
    bool serialInterface = false; // the instrument is on a serial line (else GPIB or a socket)
    ViInt32 modelNumber = 0;      // as the instrument identified, 0 when unknown
    ViReal64 voltageLimit = 0.0;
    ViReal64 currentLimit = 0.0;
    ViReal64 frequencyLowLimit = 0.0;
    ViReal64 frequencyHighLimit = 0.0;
};

inline constexpr ViInt32 kSinglePhaseModel = ZEV_QX70_VAL_MODEL_7101QX;
inline constexpr ViInt32 kThreePhaseModel = ZEV_QX70_VAL_MODEL_7103QX;

inline bool knownModel(ViInt32 model) { return model == kSinglePhaseModel || model == kThreePhaseModel; }

// A copy of the session's state; all zero for a session that has none.
SessionState sessionState(ViSession vi);
// Replaces the session's state; called only while the session opens.
void storeSessionState(ViSession vi, const SessionState &state);
// Drops the state of a session that is gone.
void forgetSessionState(ViSession vi);

inline bool onSerialLine(ViSession vi) { return sessionState(vi).serialInterface; }

} // namespace zev
