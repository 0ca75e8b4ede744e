// Message framing: every command goes out exactly as given over GPIB (the bus marks the end)
// and with '\n' appended over the serial line; answer formats follow the same rule where the
// caller asks for it. Formats given as literals are checked against their arguments at compile
// time; formats from tables are passed as qx::visa::RuntimeFormat and checked at the call.
#pragma once

#include "driver_state.h"
#include "visa/visa.h"

#include <string>
#include <type_traits>

namespace zev {

// The session's wire form of a command or answer format.
inline std::string framed(ViSession vi, const char *gpibForm)
{
    std::string form(gpibForm);
    if (onSerialLine(vi))
        form += '\n';
    return form;
}

// The unrecorded transfers under the frame of exchange.h.
template <class... Args>
ViStatus sendCommand(ViSession vi, ViSession io, qx::visa::PrintfFormat<std::type_identity_t<Args>...> gpibForm,
                     const Args &...args)
{
    try { // framing copies the format; no exception may leave the driver
        const std::string form = framed(vi, gpibForm.text());
        return viPrintf(io, qx::visa::RuntimeFormat{form.c_str()}, args...);
    } catch (...) {
        return VI_ERROR_ALLOC;
    }
}

// Reads an answer with the format as given over GPIB and with "\n" appended over the serial line.
template <class... Args>
ViStatus readAnswer(ViSession vi, ViSession io, qx::visa::ScanfFormat<std::type_identity_t<Args>...> gpibForm,
                    Args &&...outputs)
{
    try {
        const std::string form = framed(vi, gpibForm.text());
        return viScanf(io, qx::visa::RuntimeFormat{form.c_str()}, std::forward<Args>(outputs)...);
    } catch (...) {
        return VI_ERROR_ALLOC;
    }
}

// Reads a raw answer of at most 511 bytes as text. The rest of a longer answer is read and dropped
// so that it is not taken for the answer to the next query.
ViStatus readRawAnswer(ViSession io, ViChar (&text)[512]);

} // namespace zev
