#include "exchange.h"

#include "session_lock.h"
#include "status.h"

namespace zev {

ViStatus queryStateThenClear(ViSession vi, Scpi query, ViInt32 *state, ViConstString nullText)
{
    return zev::withLock(vi, [&]() -> ViStatus {
        if (!state)
            return nullAddress(vi, 3, nullText);
        if (!Ivi_Simulating(vi)) {
            const ViSession io = Ivi_IOSession(vi);
            ViStatus status = sendWithCheckDue(vi, io, qx::visa::RuntimeFormat{scpi(query)});
            if (status < 0)
                return status;
            serialDelay(vi, kStatusPause);
            ViInt32 answer = 0;
            status = receive(vi, io, "%d", &answer);
            if (status < 0)
                return status;
            serialDelay(vi, kStatusPause);
            *state = answer;
        }
        return checkStatusThenClear(vi, kStatusPause);
    });
}

} // namespace zev
