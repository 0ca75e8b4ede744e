// Several instruments in one process: a 7103QX on a serial line and a 7101QX on a socket, each with
// limits of its own, and a third instrument refused at its identification. Each session keeps its
// own link, model and limits; a failed open and a close leave the others as they were.
#include "e2e_support.h"

using namespace qx::e2e;

namespace {

constexpr ViStatus kFailedIdentification = _VI_ERROR + 0x3FFC0011; // VI_ERROR_FAIL_ID_QUERY

struct Limits {
    ViReal64 low = 0, high = 0, current = 0, voltage = 0;
    ViInt32 model = 0;
    bool operator==(const Limits &) const = default;
};

Limits limitsOf(ViSession vi)
{
    Limits l;
    EXPECT_EQ(ZEV_QX70_ConfigureLimits(vi, "1", &l.low, &l.high, &l.current, &l.voltage, &l.model), VI_SUCCESS);
    return l;
}

// One simulator with its transcript, several to a test.
class Instrument : public DriverE2e {
public:
    using DriverE2e::expect;
    using DriverE2e::expected;
    using DriverE2e::expectOpening;
    using DriverE2e::open;
    using DriverE2e::received;
    using DriverE2e::resource;
    void TestBody() override {}
    void start(bool serial, std::vector<std::string> options)
    {
        SetUp();
        if (serial)
            startOnSerial(std::move(options));
        else
            startOnTcp(std::move(options));
    }
    ~Instrument() override { TearDown(); }
};

} // namespace

TEST(SeveralInstruments, EachSessionKeepsItsOwnLinkModelAndLimits)
{
    Instrument three, one, foreign;
    three.start(true, {"--model", "7103QX"});
    one.start(false, {"--model", "7101QX", "--voltage-limit", "250", "--current-limit", "5", "--freq-low", "45",
                      "--freq-high", "1000"});
    foreign.start(false, {"--model", "7101QX", "--manufacturer", "ACME", "--voltage-limit", "150"});
    const ViSession a = three.open();
    const ViSession b = one.open();
    ViSession c = 77;
    EXPECT_EQ(ZEV_QX70_init(foreign.resource.data(), VI_TRUE, VI_FALSE, &c, 9600), kFailedIdentification);
    EXPECT_EQ(c, static_cast<ViSession>(VI_NULL));

    EXPECT_EQ(limitsOf(a), (Limits{16.0, 500.0, 9.2, 300.0, 7103}));
    EXPECT_EQ(limitsOf(b), (Limits{45.0, 1000.0, 5.0, 250.0, 7101}));
    for (ViSession vi : {a, b}) {
        EXPECT_EQ(ZEV_QX70_GenerateACVoltageRange(vi, "1", 2.0), VI_SUCCESS);
        EXPECT_EQ(ZEV_QX70_GenerateACVoltage(vi, "1", 260.0), vi == a ? VI_SUCCESS : ZEV_QX70_ERROR_OVER_VOLTAGE);
        EXPECT_EQ(ZEV_QX70_GenerateACFrequency(vi, "1", 800.0),
                  vi == a ? ZEV_QX70_ERROR_FREQUENCY_OUT_OF_LIMITS : VI_SUCCESS);
        ViReal64 peak = -1;
        EXPECT_EQ(ZEV_QX70_MeasureOutput(vi, "1", ZEV_QX70_VAL_MEASURE_PEAK_CURRENT, &peak),
                  vi == a ? ZEV_QX70_ERROR_NOT_SUPPORTED : VI_SUCCESS);
    }
    EXPECT_EQ(ZEV_QX70_close(b), VI_SUCCESS);
    ViReal64 volts = 0;
    EXPECT_EQ(ZEV_QX70_QueryOutputFunction(a, "1", 1, &volts), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(volts, 260.0);
    EXPECT_EQ(ZEV_QX70_close(a), VI_SUCCESS);

    // Each instrument heard its own commands with its own limits; the serial one every line feed.
    three.expectOpening();
    three.expect({"VOLT:RANG 300.000000", "SYST:ERR?", "VOLT 260.000000", "SYST:ERR?", "VOLT?", "SYST:ERR?", "SYST:LOC"});
    one.expectOpening();
    one.expect({"VOLT:RANG 250.000000", "SYST:ERR?", "FREQ 800.000000", "SYST:ERR?", "MEAS:CURR:AMPL:MAX?",
                "SYST:LOC"});
    EXPECT_EQ(three.received(), three.expected);
    EXPECT_EQ(one.received(), one.expected);
    const std::vector<std::string> refused = foreign.received();
    EXPECT_EQ(refused.back(), "*IDN?\\n"); // nothing after the identification that failed
}
