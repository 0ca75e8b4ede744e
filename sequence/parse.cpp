#include "quantities.h"
#include "sequence.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace qx::sequence {
namespace {

using Json = nlohmann::ordered_json;

// A refusal, said of the step (or the file) where it was found.
struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr int kMostRepeats = 100000;
constexpr double kLongestWait = 7 * 24 * 3600.0; // a week: anything longer is a typing error

class StepReader {
public:
    StepReader(const Json &node, int number) : node_(node), number_(number) {}

    [[noreturn]] void fail(const std::string &what) const
    {
        throw Refusal("step " + std::to_string(number_) + ": " + what);
    }

    double number(const Json &value, const std::string &what) const
    {
        if (!value.is_number())
            fail(what + " must be a number");
        const double v = value.get<double>();
        if (!std::isfinite(v))
            fail(what + " must be a finite number");
        return v;
    }

    double nonNegative(const Json &value, const std::string &what) const
    {
        const double v = number(value, what);
        if (v < 0.0)
            fail(what + " must not be negative");
        return v;
    }

    int phase(const Json &value) const
    {
        const double v = number(value, "\"phase\"");
        if (v != std::floor(v) || v < ZEV_QX70_VAL_PHASE_ALL || v > ZEV_QX70_VAL_PHASE_MAX)
            fail("\"phase\" must be 0 (all) or 1 to 3");
        return static_cast<int>(v);
    }

    Step read() const
    {
        if (!node_.is_object())
            fail("a step is an object");
        Step step;
        step.number = number_;
        const char *action = nullptr;
        for (const auto &[key, value] : node_.items()) {
            if (key == "repeat") {
                const double v = number(value, "\"repeat\"");
                if (v != std::floor(v) || v < 1 || v > kMostRepeats)
                    fail("\"repeat\" must be a whole number from 1 to " + std::to_string(kMostRepeats));
                step.repeat = static_cast<int>(v);
            } else if (key == "interval") {
                step.interval = nonNegative(value, "\"interval\"");
            } else if (key == "phase" || key == "expect") {
                continue; // a measurement's, read with it
            } else {
                if (action != nullptr)
                    fail("one action per step: \"" + std::string(action) + "\" and \"" + key + "\"");
                action = readAction(key, value, step);
            }
        }
        if (action == nullptr)
            fail("no action (set, output, wait, drop, ramp or measure)");
        if (step.kind != StepKind::Measure && (node_.contains("phase") || node_.contains("expect")))
            fail(std::string("\"phase\" and \"expect\" belong to a measurement, not to \"") + action + "\"");
        return step;
    }

private:
    // Reads the step's action; returns its key.
    const char *readAction(const std::string &key, const Json &value, Step &step) const
    {
        if (key == "set")
            return readSet(value, step), "set";
        if (key == "output")
            return readOutput(value, step), "output";
        if (key == "wait") {
            step.kind = StepKind::Wait;
            step.seconds = nonNegative(value, "\"wait\"");
            if (step.seconds > kLongestWait)
                fail("\"wait\" is longer than a week");
            return "wait";
        }
        if (key == "drop")
            return readDrop(value, step), "drop";
        if (key == "measure")
            return readMeasure(value, step), "measure";
        if (key == "ramp")
            return readRamp(value, step), "ramp";
        fail("unknown key \"" + key + "\"");
    }

    void readSet(const Json &value, Step &step) const
    {
        step.kind = StepKind::Set;
        if (!value.is_object() || value.empty())
            fail("\"set\" takes an object of voltage, frequency, current or range");
        for (const auto &[name, v] : value.items()) {
            const SettableQuantity *quantity = findSettable(name);
            if (quantity == nullptr)
                fail("cannot set \"" + name + "\" (voltage, frequency, current or range)");
            if (quantity->quantity != Quantity::Range) {
                step.settings.push_back({quantity->quantity, nonNegative(v, "\"" + name + "\"")});
                continue;
            }
            const std::string text = v.is_string() ? v.get<std::string>() : v.is_number() ? v.dump() : "";
            const std::optional<double> selector = rangeSelector(text);
            if (!selector)
                fail("\"range\" must be \"low\" or \"high\"");
            step.settings.push_back({Quantity::Range, *selector});
        }
    }

    void readOutput(const Json &value, Step &step) const
    {
        step.kind = StepKind::Output;
        if (value == "on")
            step.outputOn = true;
        else if (value != "off")
            fail("\"output\" must be \"on\" or \"off\"");
    }

    void readDrop(const Json &value, Step &step) const
    {
        step.kind = StepKind::Drop;
        if (!value.is_object())
            fail("\"drop\" takes an object of angle, time and phase");
        for (const auto &[name, v] : value.items()) {
            if (name == "angle") {
                const double angle = number(v, "\"angle\"");
                if (std::find(kDropAngles.begin(), kDropAngles.end(), angle) == kDropAngles.end())
                    fail("angle " + v.dump() + " is not allowed (0, 90, 180 or 270)");
                step.angle = angle;
            } else if (name == "time") {
                step.dropTime = nonNegative(v, "\"time\"");
                if (*step.dropTime > kLongestWait)
                    fail("\"time\" is longer than a week");
            } else if (name == "phase") {
                step.phase = phase(v);
            } else {
                fail("unknown key \"" + name + "\" in \"drop\"");
            }
        }
    }

    void readRamp(const Json &value, Step &step) const
    {
        step.kind = StepKind::Ramp;
        if (!value.is_object())
            fail("\"ramp\" takes an object of voltage [from, to], seconds and steps");
        for (const auto &[name, v] : value.items())
            if (name != "voltage" && name != "seconds" && name != "steps")
                fail("unknown key \"" + name + "\" in \"ramp\" (a ramp takes voltage [from, to], seconds and steps)");
        const Json *voltage = value.contains("voltage") ? &value["voltage"] : nullptr;
        if (voltage == nullptr || !voltage->is_array() || voltage->size() != 2)
            fail("\"ramp\" needs \"voltage\": [from, to]");
        step.ramp.from = nonNegative((*voltage)[0], "the ramp's voltage");
        step.ramp.to = nonNegative((*voltage)[1], "the ramp's voltage");
        if (!value.contains("seconds"))
            fail("\"ramp\" needs \"seconds\"");
        step.seconds = number(value["seconds"], "\"seconds\"");
        if (step.seconds <= 0.0 || step.seconds > kLongestWait)
            fail("\"seconds\" of a ramp must be above 0 and at most a week");
        const double fallback = std::clamp(std::round(step.seconds / kRampStepSeconds), 1.0, double(kMostRampSteps));
        const double steps = value.contains("steps") ? number(value["steps"], "\"steps\"") : fallback;
        if (steps != std::floor(steps) || steps < 1 || steps > kMostRampSteps)
            fail("\"steps\" must be a whole number from 1 to " + std::to_string(kMostRampSteps));
        step.ramp.steps = static_cast<int>(steps);
    }

    void readMeasure(const Json &value, Step &step) const
    {
        step.kind = StepKind::Measure;
        if (!value.is_array() || value.empty())
            fail("\"measure\" takes a list of measurement kinds");
        for (const Json &kind : value) {
            if (!kind.is_string() || findMeasurement(kind.get<std::string>()) == nullptr)
                fail("unknown measurement " + kind.dump());
            step.kinds.push_back(kind.get<std::string>());
        }
        if (node_.contains("phase"))
            step.phase = phase(node_["phase"]);
        if (!node_.contains("expect"))
            return;
        const Json &expect = node_["expect"];
        if (!expect.is_object())
            fail("\"expect\" takes an object of kind: [low, high]");
        for (const auto &[kind, bounds] : expect.items()) {
            if (std::find(step.kinds.begin(), step.kinds.end(), kind) == step.kinds.end())
                fail("\"expect\" names \"" + kind + "\", which the step does not measure");
            if (!bounds.is_array() || bounds.size() != 2)
                fail("the bounds of \"" + kind + "\" must be [low, high]");
            const double low = number(bounds[0], "a bound");
            const double high = number(bounds[1], "a bound");
            if (low > high)
                fail("the bounds of \"" + kind + "\" are the wrong way round");
            step.expect.push_back({kind, low, high});
        }
    }

    const Json &node_;
    int number_;
};

Sequence readSequence(const Json &root)
{
    if (!root.is_object())
        throw Refusal("a sequence is an object with \"name\" and \"steps\"");
    for (const auto &[key, value] : root.items())
        if (key != "name" && key != "steps" && key != "description" && key != "record")
            throw Refusal("unknown key \"" + key + "\"");
    Sequence sequence;
    for (auto [key, text] : {std::pair{"name", &sequence.name}, std::pair{"description", &sequence.description}}) {
        if (!root.contains(key))
            continue;
        if (!root[key].is_string())
            throw Refusal(std::string("\"") + key + "\" must be a text");
        *text = root[key].get<std::string>();
    }
    if (root.contains("record")) {
        const Json &record = root["record"];
        if (record != "required" && record != "optional")
            throw Refusal("\"record\" must be \"required\" (a run needs an operator and an EUT) or \"optional\", not " +
                          record.dump());
        sequence.recordRequired = record == "required";
    }
    if (!root.contains("steps") || !root["steps"].is_array() || root["steps"].empty())
        throw Refusal("\"steps\" must be a list of one step or more");
    int number = 0;
    for (const Json &node : root["steps"])
        sequence.steps.push_back(StepReader(node, ++number).read());
    return sequence;
}

} // namespace

const char *stepKindName(StepKind kind)
{
    switch (kind) {
    case StepKind::Set: return "set";
    case StepKind::Output: return "output";
    case StepKind::Wait: return "wait";
    case StepKind::Drop: return "drop";
    case StepKind::Measure: return "measure";
    case StepKind::Ramp: return "ramp";
    }
    return "?";
}

ParsedSequence parseSequence(std::string_view text)
{
    ParsedSequence parsed;
    try {
        parsed.sequence = readSequence(Json::parse(text));
    } catch (const Json::parse_error &e) {
        parsed.error = std::string("not JSON: ") + e.what();
    } catch (const std::exception &e) {
        parsed.error = e.what();
    }
    return parsed;
}

std::string shippedSequenceFolder()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return (program.parent_path().parent_path() / "share" / "qxseries" / "sequences").string();
}

ParsedSequence loadSequence(const std::string &path)
{
    std::ifstream in(path);
    if (!in) {
        ParsedSequence parsed;
        parsed.error = "cannot read " + path;
        return parsed;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseSequence(text.str());
}

} // namespace qx::sequence
