// Error information of a session (or, per thread, of no session): primary and secondary code
// and an elaboration of at most IVI_MAX_MESSAGE_LEN characters.
#pragma once

#include "ivi/ivi.h"

#include <string>
#include <string_view>

namespace qx::ivi {

struct ErrorInfo {
    ViStatus primary = VI_SUCCESS;
    ViStatus secondary = VI_SUCCESS;
    std::string elaboration;

    // Without overwrite, the first error recorded stays until it is handed out or cleared.
    void record(bool overwrite, ViStatus primaryError, ViStatus secondaryError, std::string_view text);
    // Copies to the non-null outputs, then clears.
    void handOut(ViStatus *primaryError, ViStatus *secondaryError, ViChar elaborationOut[]);
    void clear();
};

// The error information of VI_NULL for the calling thread.
ErrorInfo &threadErrorInfo();

// Copies at most IVI_MAX_MESSAGE_LEN characters and terminates; `out` holds IVI_MAX_MESSAGE_BUF_SIZE.
void copyMessage(std::string_view text, ViChar out[]);

} // namespace qx::ivi
