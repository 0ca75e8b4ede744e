// The command line of qxseries. Options of its own are taken out; everything else is left for
// Qt (for example -platform offscreen), in order.
#pragma once

#include <string>
#include <vector>

namespace qx::app {

struct Options {
    bool help = false;
    bool simulate = false;
    std::string model = "7103QX"; // the simulated model, when simulating
    std::vector<char *> toolkitArguments; // argv[0] first, then what is not ours
};

// False with `error` set for a malformed option of ours.
bool parseOptions(int argc, char **argv, Options &options, std::string &error);

extern const char kUsage[];
extern const char kNoDisplayMessage[];

} // namespace qx::app
