#include "sim/options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace qx::sim {
namespace {

// The problem in words, "" when the command line is good; the options land in `into` when given.
std::string parse(std::vector<std::string_view> args, Options *into = nullptr)
{
    Options o;
    return parseOptions(args, into ? *into : o);
}

TEST(Options, LoadsLimitsAndFaultsReachTheirPlacesMistakesAreNamed)
{
    Options o;
    ASSERT_EQ(parse({"--model", "7101QX", "--tcp=5025", "--freq-high", "70", "--load", "50", "--load", "2:open",
                     "--load", "3:20,0.5,2", "--silent", "--oversize", "5000", "--close-after", "9", "--error-after",
                     "OUTP:DROP=-221"},
                    &o),
              "");
    EXPECT_EQ(std::tuple(o.config.model, o.tcpPort, o.config.limits.frequencyHigh), std::tuple(Model::QX7101, 5025, 70.0));
    const auto &loads = o.config.loads;
    EXPECT_EQ(std::tuple(loads[0].resistance, std::isinf(loads[1].resistance), loads[2].powerFactor, loads[2].crestFactor),
              std::tuple(50.0, true, 0.5, 2.0));
    EXPECT_EQ(std::tuple(o.faults.silent, o.faults.oversize, o.faults.closeAfter), std::tuple(true, 5000u, 9u));
    ASSERT_TRUE(o.faults.errorAfter);
    EXPECT_EQ(std::tuple(o.faults.errorAfter->header, o.faults.errorAfter->code), std::tuple("OUTP:DROP", -221));

    const std::pair<std::vector<std::string_view>, const char *> cases[] = {
        {{}, "nothing to serve"}, {{"--tcp"}, "--tcp needs PORT"},
        {{"--tcp", "70000"}, "--tcp: TCP port must be 0 to 65535"},
        {{"--tcp", "0", "--frob"}, "unknown option '--frob'"}, {{"--tcp", "0", "--silent=1"}, "--silent takes no value"},
        {{"--tcp", "0", "--load", "4:10"}, "--load: load phase must be 1 to 3"},
        {{"--tcp", "0", "--load", "10,1.5"}, "--load: load power factor must be above 0"},
        {{"--tcp", "0", "--voltage-limit", "-3"}, "--voltage-limit: expected a positive number"},
        {{"--tcp", "0", "--freq-low", "600"}, "frequency limits must be positive with low <= high"},
        {{"--tcp", "0", "--serial", "A,B"}, "serial number must be"},
        {{"--tcp", "0", "--close-after", "0"}, "the line can close after 1 message"},
        {{"--tcp", "0", "--error-after", "VOLT=x"}, "--error-after: error number must be"},
    };
    for (const auto &[args, problem] : cases)
        EXPECT_EQ(parse(args).rfind(problem, 0), 0u) << parse(args);
    EXPECT_EQ(parse({"--help"}, &o), "");
    EXPECT_TRUE(o.help);
}

} // namespace
} // namespace qx::sim
