#include "runtime/clock.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace qx::runtime;

TEST(VirtualClock, RecordsEachWaitInTheTimelineInOrderWithTheEscapedIoAndItsGuardRestoresThePreviousClock)
{
    VirtualClock outer;
    const ScopedClock outerGuard(outer);
    Timeline timeline;
    VirtualClock virtualClock(&timeline);
    {
        const ScopedClock guard(virtualClock);
        timeline.write("VOLT 120.000000\n");
        for (double notAWait : {0.0, -1.0, double(NAN), double(INFINITY)}) // not positive and finite: no wait
            Delay(notAWait);
        Delay(0.03);
        timeline.read(std::string("120.0\r\n\t\\\x01\xff", 11)); // control and high bytes escaped
        currentClock().sleep(10, WaitKind::Timeout);
    }
    EXPECT_EQ(&currentClock(), &outer);
    EXPECT_EQ(timeline.events(), (std::vector<std::string>{"> VOLT 120.000000\\n", "wait 0.03",
                                                         "< 120.0\\r\\n\\t\\\\\\x01\\xFF", "timeout 10"}));
    EXPECT_EQ(timeline.writes(), std::vector<std::string>{"VOLT 120.000000\n"});
    EXPECT_DOUBLE_EQ(virtualClock.now(), 10.03);
}
