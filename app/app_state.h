// The front panel's application state: one instance, zero-initialised at start, read and written
// by the callbacks only, one at a time (their instrument work runs on the instrument worker).
#pragma once

#include "zev_qx70.h"

namespace qx::app {

// What the last refresh read back from the instrument; kept from one refresh to the next, so a
// failed query shows the previous value (0 before the first refresh).
struct InstrumentReadback {
    double rangevolts = 0.0;
    ViInt32 relaystate = 0;
    ViInt32 displaymode = 0;
    double voltage = 0.0;
    double frequency = 0.0;
    double current = 0.0;
    double currlimit = 0.0;
};

struct AppState {
    int mainpanel = 0;
    int steadypanel = 0; // 0 while no steady panel exists
    bool connectionLost = false; // a call found the link gone; until the next connection
    ViSession vi = VI_NULL;
    double freqmin = 0.0;
    double freqmax = 0.0;
    double currmax = 0.0;
    double voltmax = 0.0;
    ViInt32 modelnumber = 0; // as the instrument identified, 0 while unknown
    int address = 0;
    int comport = 0;
    int comopened = 0;
    int comstatus = 0;
    int interfacekind = 0; // 1 GPIB, 0 RS-232
    int startmode = 0;
    int startangle = 0;
    double droptime = 0.0;
    double measvolt = 0.0;
    double meascurr = 0.0;
    double measpower = 0.0;
    InstrumentReadback readback;
};

AppState &appState() noexcept;

// The steady panel's handle as the user-interface thread may read it (the live meter's choice of
// phases): set with steadypanel, on the worker.
void setSteadyPanel(int handle) noexcept;
int steadyPanelShown() noexcept;

} // namespace qx::app
