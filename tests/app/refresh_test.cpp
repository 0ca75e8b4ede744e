// The steady panel's refresh from the instrument (got focus, and after range change and recall).
#include "app_fixture.h"

namespace qx::app::test {
namespace {

// What the driver exchanges for one query that ends with a status check finding no error.
Events query(const std::string &command, const std::string &answer)
{
    return {"> " + command, "< " + answer + "\\n", "> SYST:ERR?", "wait 0.05", "< 0,\"No error\"\\n", "wait 0.05"};
}

// A state query, which the driver follows with *CLS and its own pause.
Events stateQuery(const std::string &command, const std::string &answer)
{
    return {"> " + command, "< " + answer + "\\n", "> *CLS", "wait 0.03", "> SYST:ERR?", "wait 0.05",
            "< 0,\"No error\"\\n", "wait 0.05", "wait 0.05"};
}

Events refreshTraffic(const Events &relay, const Events &display)
{
    Events all;
    const Events pause{"wait 0.05"}; // the program's, after each driver call
    for (const Events &part : {query("VOLT:RANG?", "300"), pause, relay, pause, display, pause, query("VOLT?", "230"),
                               pause, query("FREQ?", "60"), pause, query("CURR?", "2.5"), pause})
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class Refresh : public AppTest {
protected:
    void preset(std::initializer_list<const char *> commands)
    {
        for (const char *command : commands)
            simulator->receive(std::string(command) + "\n");
    }
};

TEST_F(Refresh, HighRangeSetsTheLimitsOfTheHighRangeAndReadsEverythingBack)
{
    preset({"VOLT 230", "FREQ 60", "CURR 2.5", "OUTP 1", "DISP:MODE 1"});
    connected();
    std::string statusDuringRefresh;
    beforeEachWrite([&](const std::string &) {
        if (statusDuringRefresh.empty())
            statusDuringRefresh = text(steady, STEADY_STATUS);
    });

    ASSERT_EQ(toolkit.activate(mainpanel), 0);
    ASSERT_EQ(toolkit.activate(steady), 0); // the operator comes back to the steady window

    EXPECT_EQ(statusDuringRefresh, text::kWaitStatus);
    EXPECT_EQ(events(), refreshTraffic(stateQuery("OUTP?", "1"), stateQuery("DISP:MODE?", "1")));
    EXPECT_EQ(integer(steady, STEADY_RANGE), 1);
    EXPECT_EQ(maximum(steady, STEADY_VOLTAGE), 300.0);
    EXPECT_EQ(maximum(steady, STEADY_CURRENT), 4.6); // currmax / 2
    EXPECT_EQ(maximum(steady, STEADY_FREQUENCY), 500.0);
    EXPECT_EQ(real(steady, STEADY_VOLTAGE), 230.0);
    EXPECT_EQ(real(steady, STEADY_FREQUENCY), 60.0);
    EXPECT_EQ(real(steady, STEADY_CURRENT), 2.5);
    EXPECT_EQ(integer(steady, STEADY_OUTPUT), 1);
    EXPECT_EQ(integer(steady, STEADY_DISPLAY), 1);
    EXPECT_EQ(text(steady, STEADY_STATUS), text::kReadyStatus);
    EXPECT_TRUE(toolkit.popups().empty());
}

TEST_F(Refresh, LowRangeAllowsHalfTheVoltageAndTheFullCurrent)
{
    preset({"VOLT:RANG 150", "VOLT 100"});
    connected();

    EXPECT_EQ(state.readback.rangevolts, 150.0);
    EXPECT_EQ(integer(steady, STEADY_RANGE), 0);
    EXPECT_EQ(maximum(steady, STEADY_VOLTAGE), 150.0);
    EXPECT_EQ(maximum(steady, STEADY_CURRENT), 9.2);
    EXPECT_EQ(real(steady, STEADY_VOLTAGE), 100.0);
}

TEST_F(Refresh, DisplayModeOtherThanOneAndOpenRelayReadZero)
{
    preset({"DISP:MODE 2", "OUTP 0"});
    connected();

    EXPECT_EQ(state.readback.displaymode, 2);
    EXPECT_EQ(integer(steady, STEADY_DISPLAY), 0);
    EXPECT_EQ(integer(steady, STEADY_OUTPUT), 0);
}

TEST_F(Refresh, LostInstrumentLeavesThePreviousValuesAndStillEndsReady)
{
    preset({"VOLT 120", "OUTP 1"});
    connected();
    ASSERT_TRUE(simulator->setFaults({.silent = true}));

    ASSERT_EQ(toolkit.activate(mainpanel), 0);
    ASSERT_EQ(toolkit.activate(steady), 0);

    EXPECT_EQ(real(steady, STEADY_VOLTAGE), 120.0);
    EXPECT_EQ(integer(steady, STEADY_OUTPUT), 1);
    EXPECT_EQ(integer(steady, STEADY_RANGE), 1);
    EXPECT_EQ(text(steady, STEADY_STATUS), text::kReadyStatus);
    EXPECT_TRUE(toolkit.popups().empty());
}

} // namespace
} // namespace qx::app::test
