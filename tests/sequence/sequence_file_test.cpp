// Sequence files: what a valid one gives, every refusal naming the step it found, and the checks
// against the connected instrument's limits and model.
#include "sequence.h"

#include <gtest/gtest.h>

#include <string>

namespace qx::sequence {
namespace {

TEST(SequenceFile, ReadsEveryKindOfStepInFileOrder)
{
    const ParsedSequence parsed = parseSequence(R"({"name": "demo", "steps": [
        {"set": {"range": "low", "frequency": 60, "voltage": 115, "current": 2}},
        {"output": "on"},
        {"wait": 1.5},
        {"drop": {"angle": 270, "time": 0.02, "phase": 2}, "repeat": 3, "interval": 10},
        {"drop": {}},
        {"measure": ["voltage", "power-factor"], "phase": 1, "expect": {"voltage": [110, 120]}},
        {"measure": ["current"]}]})");
    ASSERT_TRUE(parsed.sequence) << parsed.error;
    const Sequence &s = *parsed.sequence;
    ASSERT_EQ(s.steps.size(), 7u);
    EXPECT_EQ(s.name, "demo");
    for (std::size_t i = 0; i < s.steps.size(); ++i)
        EXPECT_EQ(s.steps[i].number, static_cast<int>(i) + 1);

    const Step &set = s.steps[0];
    ASSERT_EQ(set.settings.size(), 4u);
    EXPECT_EQ(set.settings[0].quantity, Quantity::Range); // as written, not sorted
    EXPECT_EQ(set.settings[0].value, ZEV_QX70_VAL_RANGE_LOW);
    EXPECT_EQ(set.settings[3].quantity, Quantity::Current);
    EXPECT_TRUE(s.steps[1].outputOn);
    EXPECT_EQ(s.steps[2].seconds, 1.5);

    const Step &drop = s.steps[3];
    EXPECT_EQ(drop.kind, StepKind::Drop);
    EXPECT_EQ(std::make_tuple(*drop.angle, *drop.dropTime, *drop.phase, drop.repeat, drop.interval),
              std::make_tuple(270.0, 0.02, 2, 3, 10.0));
    EXPECT_FALSE(s.steps[4].angle || s.steps[4].dropTime || s.steps[4].phase); // at once, as set, all phases

    const Step &measure = s.steps[5];
    EXPECT_EQ(measure.kinds, (std::vector<std::string>{"voltage", "power-factor"}));
    ASSERT_EQ(measure.expect.size(), 1u);
    EXPECT_EQ(std::make_tuple(measure.expect[0].kind, measure.expect[0].low, measure.expect[0].high),
              std::make_tuple(std::string("voltage"), 110.0, 120.0));
    EXPECT_EQ(*measure.phase, 1);
    EXPECT_FALSE(s.steps[6].phase);
}

struct Refusal {
    const char *name;
    std::string text;
    const char *complaint; // the error message holds it
};

std::string oneStep(const std::string &step) { return R"({"steps": [{"wait": 1}, )" + step + "]}"; }

const Refusal kRefusals[] = {
    {"NotJson", "{\"steps\": [", "not JSON"},
    {"NotAnObject", "[1]", "a sequence is an object"},
    {"UnknownTopKey", R"({"steps": [{"wait": 1}], "author": "x"})", "unknown key \"author\""},
    {"NoSteps", R"({"name": "x"})", "\"steps\" must be a list of one step or more"},
    {"EmptySteps", R"({"steps": []})", "\"steps\" must be a list"},
    {"StepNotObject", oneStep("3"), "step 2: a step is an object"},
    {"UnknownAction", oneStep(R"({"volt": 3})"), "step 2: unknown key \"volt\""},
    {"TwoActions", oneStep(R"({"wait": 1, "output": "on"})"), "step 2: one action per step"},
    {"NoAction", oneStep(R"({"repeat": 2})"), "step 2: no action"},
    {"RepeatZero", oneStep(R"({"wait": 1, "repeat": 0})"), "step 2: \"repeat\" must be a whole number"},
    {"RepeatFraction", oneStep(R"({"wait": 1, "repeat": 1.5})"), "step 2: \"repeat\" must be a whole number"},
    {"NegativeInterval", oneStep(R"({"wait": 1, "interval": -1})"), "step 2: \"interval\" must not be negative"},
    {"WaitText", oneStep(R"({"wait": "1"})"), "step 2: \"wait\" must be a number"},
    {"WaitTooLong", oneStep(R"({"wait": 1e9})"), "step 2: \"wait\" is longer than a week"},
    {"SetNothing", oneStep(R"({"set": {}})"), "step 2: \"set\" takes an object"},
    {"SetUnknown", oneStep(R"({"set": {"power": 5}})"), "step 2: cannot set \"power\""},
    {"SetNegative", oneStep(R"({"set": {"voltage": -5}})"), "step 2: \"voltage\" must not be negative"},
    {"SetRangeUnknown", oneStep(R"({"set": {"range": "medium"}})"), "step 2: \"range\" must be \"low\" or \"high\""},
    {"OutputUnknown", oneStep(R"({"output": "maybe"})"), "step 2: \"output\" must be \"on\" or \"off\""},
    {"DropAngle", oneStep(R"({"drop": {"angle": 45}})"), "step 2: angle 45 is not allowed (0, 90, 180 or 270)"},
    {"DropPhase", oneStep(R"({"drop": {"phase": 4}})"), "step 2: \"phase\" must be 0 (all) or 1 to 3"},
    {"DropUnknownKey", oneStep(R"({"drop": {"depth": 0}})"), "step 2: unknown key \"depth\" in \"drop\""},
    {"MeasureNothing", oneStep(R"({"measure": []})"), "step 2: \"measure\" takes a list"},
    {"MeasureUnknown", oneStep(R"({"measure": ["volts"]})"), "step 2: unknown measurement \"volts\""},
    {"ExpectUnmeasured", oneStep(R"({"measure": ["voltage"], "expect": {"current": [0, 1]}})"),
     "step 2: \"expect\" names \"current\", which the step does not measure"},
    {"ExpectReversed", oneStep(R"({"measure": ["voltage"], "expect": {"voltage": [5, 1]}})"),
     "step 2: the bounds of \"voltage\" are the wrong way round"},
    {"ExpectOneBound", oneStep(R"({"measure": ["voltage"], "expect": {"voltage": [5]}})"),
     "step 2: the bounds of \"voltage\" must be [low, high]"},
    {"PhaseOnAWait", oneStep(R"({"wait": 1, "phase": 1})"), "step 2: \"phase\" and \"expect\" belong to a measurement"},
};

class SequenceRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(SequenceRefusal, NamesTheStepAndWhatIsWrong)
{
    const ParsedSequence parsed = parseSequence(GetParam().text);
    EXPECT_FALSE(parsed.sequence);
    EXPECT_NE(parsed.error.find(GetParam().complaint), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(Files, SequenceRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(SequenceFile, AMissingFileIsRefusedWithItsPath)
{
    const ParsedSequence parsed = loadSequence("/nonexistent/sequence.json");
    EXPECT_FALSE(parsed.sequence);
    EXPECT_EQ(parsed.error, "cannot read /nonexistent/sequence.json");
}

struct LimitCase {
    const char *name;
    std::string steps;
    ViInt32 model;
    const char *problem; // "" when the instrument can do it
};

const InstrumentLimits kLimits{ZEV_QX70_VAL_MODEL_7103QX, 300.0, 9.2, 16.0, 500.0};

const LimitCase kLimitCases[] = {
    {"AtTheLimits", R"({"set": {"voltage": 300, "current": 9.2, "frequency": 16}})", 7103, ""},
    {"VoltageAbove", R"({"set": {"voltage": 300.5}})", 7103, "step 1: 300.5 V is above this instrument's 300 V limit"},
    {"VoltageOfTheLowRange", R"({"set": {"range": "low"}}, {"set": {"voltage": 151}})", 7103,
     "step 2: 151 V is above this instrument's 150 V limit on the low range"},
    {"LowRangeThenHigh", R"({"set": {"range": "low"}}, {"set": {"range": "high", "voltage": 250}})", 7103, ""},
    {"CurrentOfTheHighRange", R"({"set": {"range": "high", "current": 5}})", 7103,
     "step 1: 5 A is above this instrument's 4.6 A limit on the high range"},
    {"FrequencyBelow", R"({"wait": 1}, {"set": {"frequency": 15}})", 7103,
     "step 2: 15 Hz is below this instrument's 16 Hz minimum"},
    {"FrequencyAbove", R"({"set": {"frequency": 500.5}})", 7103, "step 1: 500.5 Hz is above this instrument's 500 Hz maximum"},
    {"PhaseTwoOnTheSinglePhaseModel", R"({"measure": ["voltage"], "phase": 2})", 7101,
     "step 1: phase 2: the 7101QX has phase 1 only"},
    {"DropPhaseThreeOnTheSinglePhaseModel", R"({"drop": {"phase": 3}})", 7101,
     "step 1: phase 3: the 7101QX has phase 1 only"},
    {"PhaseThreeOnTheThreePhaseModel", R"({"drop": {"phase": 3}})", 7103, ""},
};

class SequenceLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(SequenceLimits, AreCheckedStepByStep)
{
    const ParsedSequence parsed = parseSequence(R"({"steps": [)" + GetParam().steps + "]}");
    ASSERT_TRUE(parsed.sequence) << parsed.error;
    InstrumentLimits limits = kLimits;
    limits.model = GetParam().model;
    EXPECT_EQ(checkAgainst(*parsed.sequence, limits), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(Instrument, SequenceLimits, ::testing::ValuesIn(kLimitCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(SequenceFile, UnknownLimitsAreNotChecked)
{
    const ParsedSequence parsed = parseSequence(R"({"steps": [{"set": {"voltage": 1000, "frequency": 5000}}]})");
    ASSERT_TRUE(parsed.sequence);
    EXPECT_EQ(checkAgainst(*parsed.sequence, InstrumentLimits{}), "");
}

} // namespace
} // namespace qx::sequence
