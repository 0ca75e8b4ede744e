// Steps of the driver functions that talk to the instrument directly, past the attribute engine:
// a failed send or read is recorded in the session's error information and returned.
#pragma once

#include "errors.h"
#include "runtime/clock.h"
#include "vocabulary.h"
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

// Sends a message in the session's wire form; a failure is recorded and returned. Vocabulary
// entries come as scpi(Scpi::...), constants whose conversions are checked against the arguments
// where the call is written; entries picked at run time come as qx::visa::RuntimeFormat.
template <class... Args>
ViStatus send(ViSession vi, ViSession io, qx::visa::PrintfFormat<std::type_identity_t<Args>...> gpibForm,
              const Args &...args)
{
    const ViStatus status = sendCommand(vi, io, qx::visa::RuntimeFormat{gpibForm.text()}, args...);
    return status < 0 ? record(vi, status) : VI_SUCCESS;
}

// Marks a status check as due, then sends: the first step of the functions that talk to the
// instrument past the engine.
template <class... Args>
ViStatus sendWithCheckDue(ViSession vi, ViSession io, qx::visa::PrintfFormat<std::type_identity_t<Args>...> gpibForm,
                          const Args &...args)
{
    const ViStatus status = Ivi_SetNeedToCheckStatus(vi, VI_TRUE);
    if (status < 0)
        return status;
    return send(vi, io, qx::visa::RuntimeFormat{gpibForm.text()}, args...);
}

// Sends a message, then waits `seconds` (not after a failed send).
template <class... Args>
ViStatus sendAndWait(ViSession vi, ViSession io, double seconds,
                     qx::visa::PrintfFormat<std::type_identity_t<Args>...> gpibForm, const Args &...args)
{
    const ViStatus status = send(vi, io, qx::visa::RuntimeFormat{gpibForm.text()}, args...);
    if (status >= 0)
        qx::runtime::Delay(seconds);
    return status;
}

// Sends a vocabulary entry picked at run time and waits its settle time.
template <class... Args> ViStatus sendSettled(ViSession vi, ViSession io, Scpi id, const Args &...args)
{
    return sendAndWait(vi, io, message(id).settle, qx::visa::RuntimeFormat{scpi(id)}, args...);
}

// Reads with the format framed like a command ("\n" appended on the serial line).
template <class... Args>
ViStatus receive(ViSession vi, ViSession io, qx::visa::ScanfFormat<std::type_identity_t<Args>...> gpibForm,
                 Args &&...outputs)
{
    const ViStatus status = readAnswer(vi, io, qx::visa::RuntimeFormat{gpibForm.text()}, std::forward<Args>(outputs)...);
    return status < 0 ? record(vi, status) : VI_SUCCESS;
}

// Sends a query, then reads its answer with the format framed like it.
template <class... Args>
ViStatus ask(ViSession vi, ViSession io, Scpi query, qx::visa::ScanfFormat<std::type_identity_t<Args>...> answer,
             Args &&...outputs)
{
    const ViStatus status = send(vi, io, qx::visa::RuntimeFormat{scpi(query)});
    if (status < 0)
        return status;
    return receive(vi, io, qx::visa::RuntimeFormat{answer.text()}, std::forward<Args>(outputs)...);
}

// Reads with the same format on both links.
template <class... Args>
ViStatus receiveAsIs(ViSession vi, ViSession io, qx::visa::ScanfFormat<std::type_identity_t<Args>...> format,
                     Args &&...outputs)
{
    const ViStatus status = viScanf(io, format, std::forward<Args>(outputs)...);
    return status < 0 ? record(vi, status) : VI_SUCCESS;
}

// The two state queries ("OUTP?", "DISP:MODE?") whole: under the session lock, refuse a null
// `state` (parameter 3, `nullText`), mark a check as due, ask (paced 0.05 s on each side of the
// answer over the serial line), check the status, then clear the instrument and the cache and let
// the instrument settle. `state` changes only when the answer was read.
ViStatus queryStateThenClear(ViSession vi, Scpi query, ViInt32 *state, ViConstString nullText);

} // namespace zev
