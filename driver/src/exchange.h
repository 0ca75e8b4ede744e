// Steps of the driver functions that talk to the instrument directly, past the attribute engine:
// a failed send or read is recorded in the session's error information and returned.
#pragma once

#include "errors.h"
#include "runtime/clock.h"
#include "wire.h"

#include <type_traits>
#include <utility>

namespace zev {

// Pacing that only the serial line needs.
inline void serialDelay(ViSession vi, double seconds)
{
    if (onSerialLine(vi))
        qx::runtime::Delay(seconds);
}

// Formats given as literals are checked against their arguments where the call is written;
// table formats come as qx::visa::RuntimeFormat and are checked when the call is made.
template <class... Args>
ViStatus send(ViSession vi, ViSession io, qx::visa::PrintfFormat<std::type_identity_t<Args>...> gpibForm,
              const Args &...args)
{
    const ViStatus status = sendCommand(vi, io, qx::visa::RuntimeFormat{gpibForm.text()}, args...);
    return status < 0 ? record(vi, status) : VI_SUCCESS;
}

// Reads with the format framed like a command ("\n" appended on the serial line).
template <class... Args>
ViStatus receive(ViSession vi, ViSession io, qx::visa::ScanfFormat<std::type_identity_t<Args>...> gpibForm,
                 Args &&...outputs)
{
    const ViStatus status = readAnswer(vi, io, qx::visa::RuntimeFormat{gpibForm.text()}, std::forward<Args>(outputs)...);
    return status < 0 ? record(vi, status) : VI_SUCCESS;
}

// Reads with the same format on both links.
template <class... Args>
ViStatus receiveAsIs(ViSession vi, ViSession io, qx::visa::ScanfFormat<std::type_identity_t<Args>...> format,
                     Args &&...outputs)
{
    const ViStatus status = viScanf(io, format, std::forward<Args>(outputs)...);
    return status < 0 ? record(vi, status) : VI_SUCCESS;
}

// The frame of the two state queries ("OUTP?", "DISP:MODE?"): mark a check as due, ask (paced
// 0.05 s on each side of the answer over the serial line), check the status, then clear the
// instrument and the cache and let the instrument settle. `state` changes only when the answer was read.
// Runs inside the caller's lock.
ViStatus queryStateThenClear(ViSession vi, qx::visa::PrintfFormat<> query, ViInt32 *state);

} // namespace zev
