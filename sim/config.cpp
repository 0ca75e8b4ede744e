#include "config.h"

#include "runtime/strings.h"

#include <cmath>

namespace qx::sim {

std::string_view modelName(Model model) { return model == Model::QX7101 ? "7101QX" : "7103QX"; }

int phaseCount(Model model) { return model == Model::QX7101 ? 1 : 3; }

bool parseModel(std::string_view text, Model &model)
{
    using qx::runtime::equalsNoCase;
    if (equalsNoCase(text, "7101QX") || text == "7101") {
        model = Model::QX7101;
        return true;
    }
    if (equalsNoCase(text, "7103QX") || text == "7103") {
        model = Model::QX7103;
        return true;
    }
    return false;
}

namespace {

bool positive(double value) { return std::isfinite(value) && value > 0.0; }

} // namespace

bool identityFieldValid(std::string_view text)
{
    if (text.empty() || text.size() > 32)
        return false;
    for (unsigned char c : text)
        if (c < 0x21 || c > 0x7E || c == ',' || c == ';' || c == '"' || c == '\'')
            return false;
    return true;
}

std::string validateConfig(const Config &config)
{
    if (!identityFieldValid(config.identity.manufacturer))
        return "manufacturer must be 1 to 32 printable characters without blanks, commas or quotes";
    if (!identityFieldValid(config.identity.serialNumber))
        return "serial number must be 1 to 32 printable characters without blanks, commas or quotes";
    if (!identityFieldValid(config.identity.firmware))
        return "firmware must be 1 to 32 printable characters without blanks, commas or quotes";
    const Limits &l = config.limits;
    if (!positive(l.voltage) || !positive(l.current))
        return "voltage and current limits must be positive";
    if (!positive(l.frequencyLow) || !positive(l.frequencyHigh) || l.frequencyLow > l.frequencyHigh)
        return "frequency limits must be positive with low <= high";
    for (const Load &load : config.loads) {
        std::string problem = validateLoad(load);
        if (!problem.empty())
            return problem;
    }
    if (!std::isfinite(config.defaultDropSeconds) || config.defaultDropSeconds < 0.0 ||
        config.defaultDropSeconds > kMaxDropSeconds)
        return "default drop time must be 0 to 60 s";
    return {};
}

} // namespace qx::sim
