// A simulator on a virtual clock, talked to one message at a time. The tests live in this
// namespace, next to their helpers.
#pragma once

#include "runtime/clock.h"
#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <source_location>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qx::sim::testing {

inline const std::string kIdn = "ZE,7103QX,SN000123,1.02\n";
using Codes = std::vector<int>;
using Exchange = std::pair<std::string_view, std::string_view>; // a message and its answer, "" for none

class SimHarness {
public:
    explicit SimHarness(const Config &config = {}) : sim(config) {}

    // The answer without its '\n'; "" when the instrument says nothing.
    std::string ask(std::string_view message)
    {
        std::string bytes = sim.receive(std::string(message) + "\n").bytes;
        if (!bytes.empty() && bytes.back() == '\n')
            bytes.pop_back();
        return bytes;
    }
    // Sends each message, followed by `query` when one is given, and expects the answers; a failure
    // names the message and the caller's line.
    void expectAnswers(std::initializer_list<Exchange> dialogue, std::string_view query = {},
                       std::source_location at = std::source_location::current())
    {
        const ::testing::ScopedTrace trace(at.file_name(), static_cast<int>(at.line()), "dialogue");
        for (const auto &[message, expected] : dialogue) {
            std::string answer = ask(message);
            answer += query.empty() ? "" : ask(query);
            EXPECT_EQ(answer, expected) << message;
        }
    }
    // Sends each message, then drains the error queue through SYST:ERR?: the error numbers in order.
    Codes errors(std::initializer_list<std::string_view> messages = {})
    {
        for (std::string_view message : messages)
            ask(message);
        Codes codes;
        for (int code = 0; codes.size() < 64 && (code = std::stoi(ask("SYST:ERR?"))) != 0;)
            codes.push_back(code);
        return codes;
    }
    void advance(double seconds) { clock.sleep(seconds, qx::runtime::WaitKind::Delay); }

    qx::runtime::VirtualClock clock;
    qx::runtime::ScopedClock scoped{clock}; // installed before the simulator reads the time
    Simulator sim;
};

// The default configuration with one change.
inline Config configWith(void (*change)(Config &))
{
    Config c;
    change(c);
    return c;
}

} // namespace qx::sim::testing
