#include "exchange.h"

#include "status.h"

namespace zev {

ViStatus queryStateThenClear(ViSession vi, qx::visa::PrintfFormat<> query, ViInt32 *state)
{
    if (!Ivi_Simulating(vi)) {
        const ViSession io = Ivi_IOSession(vi);
        ViStatus status = Ivi_SetNeedToCheckStatus(vi, VI_TRUE);
        if (status < 0)
            return status;
        status = send(vi, io, query);
        if (status < 0)
            return status;
        serialDelay(vi, 0.05);
        ViInt32 answer = 0;
        status = receive(vi, io, "%d", &answer);
        if (status < 0)
            return status;
        serialDelay(vi, 0.05);
        *state = answer;
    }
    const ViStatus status = checkStatusThenClear(vi);
    if (status < 0)
        return status;
    qx::runtime::Delay(0.05);
    return VI_SUCCESS;
}

} // namespace zev
