// Without linux-gpib, GPIB sessions fail with a clear code. The library this process may load is
// pinned to a path that does not exist, so the result does not depend on the machine.
#include <gtest/gtest.h>

#include <cstdlib>

#include "visa/gpib_library.h"
#include "visa/open_failure.h"
#include "visa/visa.h"

using namespace qx::visa;

namespace {
const bool noGpibLibrary = ::setenv("QX_GPIB_LIBRARY", "/nonexistent/libgpib.so.0", 1) == 0;
}

TEST(GpibWithoutLibrary, OpenFailsWithLibraryNotFoundTimeOutsAndStatusesStillMapToCodes)
{
    ASSERT_TRUE(noGpibLibrary);
    EXPECT_EQ(GpibLibrary::shared(), nullptr);
    EXPECT_EQ(GpibLibrary::load("libc.so.6"), nullptr); // loads, but is no GPIB library
    ViSession rm = VI_NULL;
    ViSession io = 5;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_EQ(viOpen(rm, "GPIB::5::INSTR", VI_NULL, 5000, &io), VI_ERROR_LIBRARY_NFOUND);
    EXPECT_EQ(io, VI_NULL);
    EXPECT_EQ(lastOpenFailure(), "linux-gpib's /nonexistent/libgpib.so.0 is not installed");
    EXPECT_EQ(viClose(rm), VI_SUCCESS);

    // The time-out code is the shortest not shorter than the time-out: T10us, T1ms, T3ms, T10s,
    // T30s, T1000s, and no time-out (2 s and 5 s in gpib_session_test.cpp).
    const std::pair<ViUInt32, int> cases[] = {
        {0, 1}, {1, 5}, {2, 6}, {10000, 13}, {10001, 14}, {1000000, 17}, {1000001, 17}, {VI_TMO_INFINITE, 0}};
    for (const auto &[ms, code] : cases)
        EXPECT_EQ(gpibTimeoutCode(ms), code) << ms;

    // The statuses a session reports are in gpib_session_test.cpp; these are the rest.
    EXPECT_EQ(gpibStatus(gpib::CMPL | gpib::END, gpib::ENOL), VI_SUCCESS); // iberr means nothing without ERR
    EXPECT_EQ(gpibStatus(gpib::ERR, gpib::EARG), VI_ERROR_IO); // any other error
}

