// A simulator on a virtual clock, talked to one message at a time.
#pragma once

#include "runtime/clock.h"
#include "sim/simulator.h"

#include <string>
#include <string_view>
#include <vector>

namespace qx::sim::testing {

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
    // Drains the error queue through SYST:ERR?, returning the error numbers in order.
    std::vector<int> errors()
    {
        std::vector<int> codes;
        for (int guard = 0; guard < 64; ++guard) {
            const int code = std::stoi(ask("SYST:ERR?"));
            if (code == 0)
                break;
            codes.push_back(code);
        }
        return codes;
    }
    void advance(double seconds) { clock.sleep(seconds, qx::runtime::WaitKind::Delay); }

    qx::runtime::VirtualClock clock;
    qx::runtime::ScopedClock scoped{clock}; // installed before the simulator reads the time
    Simulator sim;
};

inline Config model7101()
{
    Config c;
    c.model = Model::QX7101;
    return c;
}

} // namespace qx::sim::testing
