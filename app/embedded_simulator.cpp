#include "embedded_simulator.h"

#include "sim/attach.h"
#include "sim/config.h"
#include "sim/simulator.h"

#include <cstdlib>
#include <memory>

namespace qx::app {

bool attachEmbeddedSimulator(const std::string &model, std::string &error)
{
    sim::Config config;
    if (!sim::parseModel(model, config.model)) {
        error = "unknown simulated model " + model;
        return false;
    }
    // Kept by the device registry for the rest of the process.
    auto simulator = std::make_shared<sim::Simulator>(config);
    if (const char *path = std::getenv("QXSERIES_TRANSCRIPT"); path != nullptr && *path != '\0') {
        if (!simulator->openTranscript(path)) {
            error = std::string("cannot write the simulator transcript to ") + path;
            return false;
        }
    }
    const std::string gpib = "GPIB0::" + std::to_string(kSimulatedGpibAddress) + "::INSTR";
    const std::string serial = "ASRL" + std::to_string(kSimulatedComPort) + "::INSTR";
    if (!sim::attach(simulator, gpib) || !sim::attach(simulator, serial)) {
        error = "cannot attach the simulator";
        return false;
    }
    return true;
}

} // namespace qx::app
