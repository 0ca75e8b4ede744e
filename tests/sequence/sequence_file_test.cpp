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

TEST(SequenceFile, ReadsARampTheRecordKeyAndTheDescription)
{
    const ParsedSequence parsed = parseSequence(R"({"name": "n", "description": "d", "record": "required", "steps": [
        {"ramp": {"voltage": [230, 161], "seconds": 2, "steps": 20}}, {"ramp": {"voltage": [0, 5], "seconds": 0.05}},
        {"ramp": {"voltage": [1, 2], "seconds": 1000}}]})");
    ASSERT_TRUE(parsed.sequence) << parsed.error;
    const Sequence &s = *parsed.sequence;
    EXPECT_EQ(std::make_tuple(s.description, s.recordRequired), std::make_tuple(std::string("d"), true));
    const Ramp &ramp = s.steps[0].ramp;
    EXPECT_EQ(std::make_tuple(s.steps[0].kind, ramp.from, ramp.to, s.steps[0].seconds, ramp.steps),
              std::make_tuple(StepKind::Ramp, 230.0, 161.0, 2.0, 20));
    EXPECT_EQ(describeStep(s.steps[0]), "ramp voltage 230 V to 161 V over 2 s in 20 steps");
    // Without "steps": one per 0.2 s, at least one, at most the most a ramp takes.
    EXPECT_EQ(std::make_pair(s.steps[1].ramp.steps, s.steps[2].ramp.steps), std::make_pair(1, kMostRampSteps));
    Sequence first = s;
    first.steps.resize(1);
    EXPECT_DOUBLE_EQ(estimatedSeconds(first), 2.15); // its time and its last setting

    EXPECT_FALSE(parseSequence(R"({"record": "optional", "steps": [{"wait": 1}]})").sequence->recordRequired);
    EXPECT_FALSE(parseSequence(R"({"steps": [{"wait": 1}]})").sequence->recordRequired);
}

TEST(SequenceFile, ARampEndsExactlyAtItsLastValue)
{
    for (const Ramp ramp : {Ramp{0.1, 0.7, 3}, Ramp{230, 161.1, 7}, Ramp{0.3, 299.9, 999}, Ramp{5, 5, 1}}) {
        EXPECT_EQ(ramp.value(0), ramp.from);
        EXPECT_EQ(ramp.value(ramp.steps), ramp.to);
        for (int i = 1; i <= ramp.steps; ++i) // even steps, none beyond the ends
            EXPECT_NEAR(ramp.value(i) - ramp.value(i - 1), (ramp.to - ramp.from) / ramp.steps, 1e-9);
    }
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
    {"RampNotAnObject", oneStep(R"({"ramp": [1, 2]})"), "step 2: \"ramp\" takes an object"},
    {"RampFrequency", oneStep(R"({"ramp": {"frequency": [50, 60], "seconds": 1}})"),
     "step 2: unknown key \"frequency\" in \"ramp\""},
    {"RampNoVoltage", oneStep(R"({"ramp": {"seconds": 1}})"), "step 2: \"ramp\" needs \"voltage\": [from, to]"},
    {"RampNegative", oneStep(R"({"ramp": {"voltage": [10, -1], "seconds": 1}})"),
     "step 2: the ramp's voltage must not be negative"},
    {"RampNoSeconds", oneStep(R"({"ramp": {"voltage": [1, 2]}})"), "step 2: \"ramp\" needs \"seconds\""},
    {"RampZeroSeconds", oneStep(R"({"ramp": {"voltage": [1, 2], "seconds": 0}})"),
     "step 2: \"seconds\" of a ramp must be above 0"},
    {"RampStepsZero", oneStep(R"({"ramp": {"voltage": [1, 2], "seconds": 1, "steps": 0}})"),
     "step 2: \"steps\" must be a whole number from 1 to 1000"},
    {"RampStepsTooMany", oneStep(R"({"ramp": {"voltage": [1, 2], "seconds": 1, "steps": 1001}})"),
     "step 2: \"steps\" must be a whole number"},
    {"RampWithExpect", oneStep(R"({"ramp": {"voltage": [1, 2], "seconds": 1}, "expect": {}})"),
     "step 2: \"phase\" and \"expect\" belong to a measurement, not to \"ramp\""},
    {"RecordUnknown", R"({"record": "yes", "steps": [{"wait": 1}]})",
     "\"record\" must be \"required\" (a run needs an operator and an EUT) or \"optional\", not \"yes\""},
    {"DescriptionNotText", R"({"description": 3, "steps": [{"wait": 1}]})", "\"description\" must be a text"},
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
    {"RampWithinTheLimit", R"({"ramp": {"voltage": [300, 0], "seconds": 1}})", 7101, ""},
    {"RampAboveTheLimit", R"({"ramp": {"voltage": [230, 300.5], "seconds": 1}})", 7103,
     "step 1: the ramp's 300.5 V is above this instrument's 300 V limit"},
    {"RampAboveTheLowRange", R"({"set": {"range": "low"}}, {"ramp": {"voltage": [160, 100], "seconds": 1}})", 7101,
     "step 2: the ramp's 160 V is above this instrument's 150 V limit on the low range"},
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

TEST(SequenceFile, ANegativeRampMadeInCodeIsRefused)
{
    Sequence s = *parseSequence(R"({"steps": [{"wait": 1}, {"ramp": {"voltage": [0, 10], "seconds": 1}}]})").sequence;
    s.steps[1].ramp.from = -1.0;
    EXPECT_EQ(checkAgainst(s, kLimits), "step 2: the ramp's -1 V: a voltage cannot be negative");
}

TEST(SequenceFile, UnknownLimitsAreNotChecked)
{
    const ParsedSequence parsed = parseSequence(R"({"steps": [{"set": {"voltage": 1000, "frequency": 5000}}]})");
    ASSERT_TRUE(parsed.sequence);
    EXPECT_EQ(checkAgainst(*parsed.sequence, InstrumentLimits{}), "");
}

} // namespace
} // namespace qx::sequence
