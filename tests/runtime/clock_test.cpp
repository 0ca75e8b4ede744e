#include "runtime/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using namespace qx::runtime;

TEST(VirtualClock, RecordsEachWaitInTheTimelineInOrderWithTheEscapedIo)
{
    Timeline timeline;
    VirtualClock virtualClock(&timeline);
    ScopedClock guard(virtualClock);

    timeline.write("VOLT 120.000000\n");
    for (double notAWait : {0.0, -1.0, double(NAN), double(INFINITY)}) // not positive and finite: no wait
        Delay(notAWait);
    Delay(0.03);
    timeline.read(std::string("120.0\r\n\t\\\x01\xff", 11)); // control and high bytes escaped
    currentClock().sleep(10, WaitKind::Timeout);

    EXPECT_EQ(timeline.events(), (std::vector<std::string>{"> VOLT 120.000000\\n", "wait 0.03",
                                                         "< 120.0\\r\\n\\t\\\\\\x01\\xFF", "timeout 10"}));
    EXPECT_EQ(timeline.writes(), std::vector<std::string>{"VOLT 120.000000\n"});
    EXPECT_DOUBLE_EQ(currentClock().now(), 10.03);
}

TEST(ScopedClock, RestoresThePreviousClock)
{
    Clock *before = &currentClock();
    VirtualClock outer, inner;
    std::optional<ScopedClock> outerGuard(std::in_place, outer), innerGuard(std::in_place, inner);
    EXPECT_EQ(&currentClock(), &inner);
    innerGuard.reset();
    EXPECT_EQ(&currentClock(), &outer);
    outerGuard.reset();
    EXPECT_EQ(&currentClock(), before);
}
