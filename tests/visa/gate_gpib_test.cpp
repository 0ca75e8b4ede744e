// qxgate's instrument on a GPIB bus (the fake libgpib): reads in slices that an abort or the
// client's time-out ends, and a failed line closed, refused while it waits, and opened again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "fake_gpib.h"
#include "visa_instrument.h"

using namespace std::chrono_literals;
using qx::gate::VisaInstrument;
using qx::vxi11::IoWait;
namespace error = qx::vxi11::error;

namespace {

const bool fakeLibrary = ::setenv("QX_GPIB_LIBRARY", QX_FAKE_GPIB_PATH, 1) == 0;
constexpr int kDriverError = 0; // EDVR: the driver failed

class GateOnGpib : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fakeLibrary);
        ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
        bus = fake_gpib::Bus{};
    }
    void TearDown() override { viClose(rm); }
    long write(VisaInstrument &instrument, const char *text)
    {
        const qx::vxi11::Deadline deadline(1000);
        return instrument.write(text, true, IoWait(deadline, abort));
    }
    ViSession rm = VI_NULL;
    fake_gpib::Bus &bus = fake_gpib::bus();
    std::atomic<bool> abort{false};
};

} // namespace

TEST_F(GateOnGpib, ReadsGoOnInSlicesUntilTheClientsTimeOutOrAnAbortAndKeepWhatArrived)
{
    VisaInstrument instrument(rm, "GPIB0::5::INSTR", {});
    ASSERT_TRUE(instrument.opened());
    bus.answers.emplace_back("ZE,71", false); // then silence: each slice times out at once
    const qx::vxi11::Deadline shortWait(300);
    auto begun = std::chrono::steady_clock::now();
    const auto silent = instrument.read(100, -1, IoWait(shortWait, abort));
    EXPECT_EQ(silent.error, error::kIoTimeout);
    EXPECT_EQ(silent.data, "ZE,71");
    EXPECT_GE(std::chrono::steady_clock::now() - begun, 290ms);

    const qx::vxi11::Deadline longWait(5000);
    std::jthread aborter([this] {
        std::this_thread::sleep_for(100ms);
        abort = true;
    });
    begun = std::chrono::steady_clock::now();
    EXPECT_EQ(instrument.read(100, -1, IoWait(longWait, abort)).error, error::kAbort);
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 1s);
    EXPECT_EQ(bus.timeoutCode, 9); // T100ms: no slice waits longer on the bus
}

TEST_F(GateOnGpib, AFailedLineIsClosedRefusedDuringItsWaitAndOpenedAgain)
{
    std::vector<std::string> log;
    VisaInstrument instrument(rm, "GPIB0::5::INSTR", {}, [&log](const std::string &line) { log.push_back(line); },
                              {200ms, 300ms});
    const std::string failed = "GPIB0::5::INSTR: line failed: Could not perform operation because of I/O error. "
                               "(status 0xBFFF003E); next open in ";
    const std::string notOpened = "GPIB0::5::INSTR: reopen failed: The interface type is valid but the specified "
                                  "interface number is not configured. (status 0xBFFF00A5); next open in ";
    bus.failWrite = kDriverError;
    EXPECT_EQ(write(instrument, "A"), error::kIoError);
    EXPECT_FALSE(bus.online);
    // The first reopen comes at once; a failed one waits 200 ms, then twice that but at most 300.
    bus.failOpen = kDriverError;
    EXPECT_EQ(write(instrument, "B"), error::kIoError);
    bus.failOpen = kDriverError;
    EXPECT_EQ(write(instrument, "C"), error::kIoError);
    EXPECT_EQ(bus.failOpen, kDriverError); // not tried during the wait
    std::this_thread::sleep_for(210ms);
    EXPECT_EQ(write(instrument, "D"), error::kIoError);
    std::this_thread::sleep_for(310ms);
    EXPECT_EQ(write(instrument, "E"), error::kNone);
    EXPECT_TRUE(bus.online);
    ASSERT_EQ(bus.writes.size(), 1u);
    EXPECT_EQ(bus.writes[0].bytes, "E");
    // A line that worked waits nothing before its first reopen again.
    bus.failWrite = kDriverError;
    EXPECT_EQ(write(instrument, "F"), error::kIoError);
    EXPECT_EQ(log, (std::vector<std::string>{failed + "0 ms", "GPIB0::5::INSTR: reopening", notOpened + "200 ms",
                                             "GPIB0::5::INSTR: reopening", notOpened + "300 ms",
                                             "GPIB0::5::INSTR: reopening", "GPIB0::5::INSTR: reopened", failed + "0 ms"}));
}
