// The driver's vocabulary against the simulator's command table: every message, with a sample
// argument, is one the simulator knows - no unknown header, no malformed argument - so a mistyped
// entry, or a command the instrument lacks, fails here.
#include "sim/error_queue.h"
#include "sim/simulator.h"
#include "vocabulary.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The entry with its one conversion (if any) replaced by a sample argument.
std::string withSample(const std::string &text)
{
    const std::size_t percent = text.find('%');
    if (percent == std::string::npos)
        return text;
    const std::size_t conversion = text.find_first_of("dfs", percent);
    const char kind = text[conversion];
    const std::string sample = kind == 's' ? "SN1" : kind == 'f' ? "50.000000" : "1";
    return text.substr(0, percent) + sample + text.substr(conversion + 1);
}

} // namespace

TEST(Vocabulary, EveryMessageIsOneTheSimulatorKnows)
{
    for (const zev::Message &message : zev::vocabulary) {
        const std::string sent = withSample(message.text);
        EXPECT_EQ(sent.find('%'), std::string::npos) << message.text;
        qx::sim::Simulator simulator;
        simulator.receive(sent + "\n");
        for (const qx::sim::ErrorEntry &error : simulator.snapshot().errors)
            EXPECT_FALSE(error.code <= qx::sim::scpi_error::CommandError && error.code > qx::sim::scpi_error::ExecutionError)
                << sent << ": " << error.code << " " << error.text;
    }
}
