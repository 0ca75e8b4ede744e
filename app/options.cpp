#include "options.h"

#include "sim/config.h"

#include <string_view>

namespace qx::app {

const char kUsage[] =
    "Usage: qxseries [--simulate[=7101QX|7103QX]] [Qt options]\n"
    "\n"
    "Soft front panel for the QX Series programmable AC power sources.\n"
    "\n"
    "  --simulate[=MODEL]  attach the built-in simulator of MODEL (7101QX or 7103QX; default\n"
    "                      7103QX) at GPIB address 5 and COM port 1, and preset the main panel for\n"
    "                      it: connect with GPIB or RS-232, no hardware needed\n"
    "  -h, --help          show this help and exit\n"
    "\n"
    "Without --simulate only real instruments are reached: GPIB through linux-gpib (libgpib.so.0,\n"
    "or the library QX_GPIB_LIBRARY names), COM port n on /dev/ttyS<n-1> unless QX_COM<n> names\n"
    "another device (for example QX_COM1=/dev/ttyUSB0).\n"
    "\n"
    "The program needs a display. Without one, run it under Xvfb (xvfb-run -a qxseries --simulate)\n"
    "or with no visible window at all (QT_QPA_PLATFORM=offscreen). Other options go to Qt.\n"
    "\n"
    "Environment: QX_IO_TRACE=FILE|stderr logs every instrument read and write;\n"
    "QXSERIES_TRANSCRIPT=FILE writes the built-in simulator's transcript.\n";

const char kNoDisplayMessage[] =
    "qxseries: no display to open the front panel on (DISPLAY is not set).\n"
    "Run it under a virtual X server:  xvfb-run -a qxseries --simulate\n"
    "or without a visible window:      QT_QPA_PLATFORM=offscreen qxseries --simulate\n";

bool parseOptions(int argc, char **argv, Options &options, std::string &error)
{
    constexpr std::string_view kSimulate = "--simulate";
    options = Options{};
    if (argv == nullptr || argc < 1)
        return true;
    options.toolkitArguments.push_back(argv[0]);
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == kSimulate) {
            options.simulate = true;
        } else if (argument.starts_with(kSimulate)) {
            sim::Model model{};
            const std::string_view name = argument.substr(kSimulate.size() + 1);
            if (argument[kSimulate.size()] != '=' || !sim::parseModel(name, model)) {
                error = "unknown model for --simulate: \"" + std::string(name) + "\" (7101QX or 7103QX)";
                return false;
            }
            options.simulate = true;
            options.model = std::string(sim::modelName(model));
        } else {
            options.toolkitArguments.push_back(argv[i]);
        }
    }
    return true;
}

} // namespace qx::app
