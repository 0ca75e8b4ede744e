// The GPIB set-up's probe through the linux-gpib loader, against a fake libgpib.so that records
// the bus and fails on demand.
#include "app_fixture.h"

#include "fake_gpib.h"

namespace qx::app::test {
namespace {

// Before anything loads the GPIB library, which happens once per process.
const bool kFakeLibraryChosen = setenv("QX_GPIB_LIBRARY", QX_FAKE_GPIB_PATH, 1) == 0;

class GpibLibraryProbe : public AppTest {
protected:
    GpibLibraryProbe() { fake_gpib::bus() = fake_gpib::Bus{}; }
};

TEST_F(GpibLibraryProbe, NoListenerAtTheAddressShowsEnolAndOpensNoSession)
{
    ASSERT_TRUE(kFakeLibraryChosen);
    fake_gpib::bus().failWrite = 2; // ENOL

    EXPECT_EQ(connectGpib(9), -1);

    EXPECT_EQ(fake_gpib::bus().ibdev, (std::vector<int>{0, 9, 0, 13, 1, 0})); // board 0, T10s, EOI, no EOS
    EXPECT_EQ(popups(), Events{"GPIB Message | GPIB error number  2 : No listeners on the GPIB. "});
    EXPECT_EQ(value<int>(mainpanel, MAIN_GPIB), 0);
    EXPECT_FALSE(fake_gpib::bus().online); // the probe's descriptor was released
    EXPECT_EQ(state.steadypanel, 0);
}

TEST_F(GpibLibraryProbe, ListenerThatNeverAnswersPassesTheProbeAndGetsTheSteadyPanel)
{
    EXPECT_EQ(connectGpib(9), 0);

    ASSERT_FALSE(fake_gpib::bus().writes.empty());
    EXPECT_EQ(fake_gpib::bus().writes.front(), (fake_gpib::Write{"*IDN?\r\n", true}));
    EXPECT_TRUE(popups().empty());
    EXPECT_EQ(state.vi, static_cast<ViSession>(VI_NULL)); // the driver's identification timed out
    EXPECT_EQ(text(state.steadypanel, STEADY_CONNECTION), "GPIB, Address 9");
}

} // namespace
} // namespace qx::app::test
