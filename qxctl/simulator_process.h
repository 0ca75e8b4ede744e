// --simulate: a qxsim process on a pseudo-terminal of its own, for as long as qxctl runs.
#pragma once

#include <string>
#include <sys/types.h>

namespace qx::ctl {

class SimulatorProcess {
public:
    SimulatorProcess() = default;
    ~SimulatorProcess(); // stops the simulator and removes its folder
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Starts qxsim for `model` and waits for it to be ready. qxsim is the program QXSIM names,
    // else the one beside qxctl, else the one on PATH. "" or the problem in words.
    std::string start(const std::string &model);
    // The resource of its pseudo-terminal, e.g. "ASRL/tmp/qxctl-XXXXXX/tty::INSTR".
    std::string resource() const { return "ASRL" + link_ + "::INSTR"; }

private:
    void stop();

    pid_t pid_ = -1;
    std::string folder_;
    std::string link_;
};

} // namespace qx::ctl
