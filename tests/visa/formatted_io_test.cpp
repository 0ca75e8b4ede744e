// viPrintf / viScanf with the formats and buffer settings of the instrument driver.
#include <functional>
#include <string>

#include "session_fixture.h"

using namespace qx::visa;
using qx::visa::test::SessionTest;
using Write = qx::test::ScriptedDevice::Write;

// ---- what a format accepts is settled at compile time --------------------------------------

namespace {

using format::ArgInfo;
using format::Problem;

template <class... A>
constexpr Problem printfCheck(std::string_view f)
{
    constexpr std::array<ArgInfo, sizeof...(A)> args{format::printfArgInfo<A>()...};
    return format::checkPrintf(f, args.data(), args.size());
}

template <class... A>
constexpr Problem scanfCheck(std::string_view f)
{
    constexpr std::array<ArgInfo, sizeof...(A)> args{format::scanfArgInfo<A>()...};
    return format::checkScanf(f, args.data(), args.size());
}

template <class... P>
constexpr bool all(Problem expected, P... problems)
{
    return ((problems == expected) && ...);
}

// The driver's formats compile in the tests below, and format_refusals.cpp holds calls that must not
// compile; these are the remaining checks. VISA sizes, not the host's: %ld is 32 bits, %lf a double.
static_assert(all(Problem::ArgumentMismatch, printfCheck<ViInt32>("%hd"), printfCheck<int>("%lf"),
                  printfCheck<bool>("%d"), printfCheck<ViInt32>("%s"), scanfCheck<long *>("%ld"),
                  scanfCheck<ViReal32 *>("%lf"), scanfCheck<ViInt32 *>("%hd"), scanfCheck<const ViInt32 *>("%ld")));
static_assert(scanfCheck<ViChar (&)[2]>("%3c") == Problem::FieldTooWide); // %c has no NUL: the width alone
static_assert(all(Problem::TooManyArguments, printfCheck<ViInt32, ViInt32>("%ld"), scanfCheck<ViInt32 *>("%*ld")));
static_assert(all(Problem::Invalid, printfCheck<ViInt32>("%"), printfCheck<ViInt32>("%k"),
                  scanfCheck<ViChar *>("%5[^,"), scanfCheck<ViInt32 *>("%0d")));
static_assert(all(Problem::Unsupported, printfCheck<ViInt32>("%x"), printfCheck<ViInt32>("%*d"),
                  scanfCheck<ViChar *>("%256t"), scanfCheck<ViInt32 *>("%,3d")));
static_assert(printfCheck<>("100%% done\n") == Problem::None);

} // namespace

// ---- viPrintf --------------------------------------------------------------------------------

TEST_F(SessionTest, RuntimeFormatsAreCheckedBeforeAnyIoPrintfFormatsLikeCSendingWithEndOrAtLineFeeds)
{
    open("GPIB::5::INSTR");
    ViReal64 real = 1.5;
    ViInt32 integer = 4;
    ViChar small[10] = "keep";
    ViChar *pointer = small;
    EXPECT_EQ(viPrintf(io, RuntimeFormat{"VOLT %ld"}, real), VI_ERROR_INV_FMT);
    EXPECT_EQ(viPrintf(io, RuntimeFormat{"VOLT %lf %lf"}, real), VI_ERROR_INV_FMT);
    EXPECT_EQ(viPrintf(io, RuntimeFormat{"%b"}, integer), VI_ERROR_NSUP_FMT);
    EXPECT_EQ(viScanf(io, RuntimeFormat{"%ld"}, &real), VI_ERROR_INV_FMT);
    EXPECT_EQ(viScanf(io, RuntimeFormat{"%256[^\n]"}, small), VI_ERROR_INV_FMT);
    EXPECT_EQ(viScanf(io, RuntimeFormat{"%s"}, pointer), VI_ERROR_INV_FMT);
    EXPECT_EQ(viScanf(io, RuntimeFormat{"%y"}, &integer), VI_ERROR_NSUP_FMT);
    EXPECT_TRUE(device->writes().empty());
    EXPECT_EQ(device->reads(), 0);
    EXPECT_EQ(real, 1.5);
    EXPECT_STREQ(small, "keep");

    device->queue("7", true);
    EXPECT_EQ(viScanf(io, RuntimeFormat{"%ld"}, &integer), VI_SUCCESS);
    EXPECT_EQ(integer, 7);

    // viPrintf formats like C's printf and sends each call at once, with END.
    const ViChar range[] = "VOLT:RANG";
    EXPECT_EQ(viPrintf(io, "VOLT %lf", 120.0), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "OUTP %ld", ViInt32{1}), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "DISP:MODE %d;%hd", -7, ViInt16{-32768}), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "%s?", range), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "%s|%s", std::string("a"), std::string_view("b")), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "[%5d][%-4d][%+d][%05.1f][%.2s][%3s][% d]", 42, 7, 3, -2.25, "abc", "x", 5), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "%e %g %.3f %lld", 1234.5, 0.0001, -0.0005, -9000000000LL), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "%f", 1e20), VI_SUCCESS);
    EXPECT_EQ(device->writes(), (std::vector<Write>{
                                    {"VOLT 120.000000", true}, {"OUTP 1", true},
                                    {"DISP:MODE -7;-32768", true}, {"VOLT:RANG?", true}, {"a|b", true},
                                    {"[   42][7   ][+3][-02.2][ab][  x][ 5]", true},
                                    {"1.234500e+03 0.0001 -0.001 -9000000000", true},
                                    {"100000000000000000000.000000", true},
                                }));

    // With the VISA default, only at the format's line feeds or when asked (a buffer smaller than the
    // message: gpib_session_test.cpp).
    open("GPIB::5::INSTR", false);
    EXPECT_EQ(viPrintf(io, "*RST"), VI_SUCCESS);
    EXPECT_TRUE(device->writes().empty());
    EXPECT_EQ(viPrintf(io, ";*CLS\nSYST:REM"), VI_SUCCESS);
    EXPECT_EQ(device->writes(), (std::vector<Write>{{"*RST;*CLS\n", true}}));
    EXPECT_EQ(viFlush(io, VI_WRITE_BUF), VI_SUCCESS);
    EXPECT_EQ(device->writes().back(), (Write{"SYST:REM", true}));
}

// ---- viScanf with the driver's formats ------------------------------------------------------

using qx::visa::test::Result;
using qx::visa::test::result;

TEST_F(SessionTest, EachFormatOfTheDriverTakesGoodAnswersAndLeavesItsOutputsOnShortOversizeOrGarbage)
{
    open("ASRL1::INSTR");
    // Each scan starts its outputs as sentinels.
    const auto chars = [this](ScanfFormat<ViChar (&)[257]> format) {
        ViChar text[257] = "untouched";
        return result(viScanf(io, format, text), text);
    };
    using Scan = std::function<Result()>;
    const Scan real = [&] { return scan<ViReal64>("%lf\n", -7); };
    const Scan single = [&] { return scan<ViReal32>("%f\n", -7); };
    const Scan int32 = [&] { return scan<ViInt32>("%ld", -7); };
    const Scan plain = [&] { return scan<ViInt32>("%d", -7); };
    const Scan int16 = [&] { return scan<ViInt16>("%hd", -7); };
    const Scan int64 = [&] { return scan<long long>("%lld", -7); };
    const Scan revision = [&] { return chars("%*[^,],%*[^,],%*[^,],%256[^\n]"); };
    const Scan serial = [&] { return chars("%*[^,],%*[^,],%256[^,],%*[^\n]\n"); };
    const Scan line = [&] { return chars("%256[^\n]\n"); };
    const Scan error = [&] { // the text into a caller's buffer passed as a pointer: bounded by the width
        ViInt32 code = -7;
        ViChar buffer[257] = "untouched", *text = buffer;
        return result(viScanf(io, "%ld,\"%256[^\"]\n", &code, text), code, buffer);
    };
    constexpr ViStatus ok = VI_SUCCESS, bad = VI_ERROR_INV_RESPONSE;
    const struct {
        Scan scan;
        std::string answer;
        ViStatus status;
        std::string outputs;
    } cases[] = {
        {real, "120.000\n", ok, "120"}, {real, "+1.20E+02\n", ok, "120"}, {real, "120\n", ok, "120"},
        {real, "-5.5\n", ok, "-5.5"}, {real, " .5\r\n", ok, "0.5"}, {real, "9.9E37\n", ok, "9.9e+37"},
        {real, "\n", bad, "-7"}, {real, "1.5E\n", bad, "-7"}, {real, "-\n", bad, "-7"},
        {real, "1e999\n", bad, "-7"}, {real, std::string(4500, '1') + "\n", bad, "-7"}, // longer than the buffer
        {single, "3.25\n", ok, "3.25"}, {single, "1e39\n", bad, "-7"},                    // beyond a float
        {int32, "2147483647\n", ok, "2147483647"}, {int32, "-2147483648\n", ok, "-2147483648"},
        {int32, "+1\n", ok, "1"}, {int32, "2147483648\n", bad, "-7"}, {int32, "-2147483649\n", bad, "-7"},
        {int32, "99999999999999999999999\n", bad, "-7"}, {int32, "+\n", bad, "-7"},
        {plain, "1.0\n", ok, "1"}, // the integer ends at the point, as in C
        {int16, "-113,\"Undefined header\"\n", ok, "-113"}, // "SYST:ERR?": the number first
        {int16, "32768\n", bad, "-7"}, {int64, "-9000000000\n", ok, "-9000000000"},
        {error, "-113,\"Undefined header\"\n", ok, "-113|Undefined header"},
        {error, "0,\"\"\n", ok, "0|"}, // an empty text is a value
        {error, "0\n", bad, "-7|untouched"}, {error, "0,\n", bad, "-7|untouched"},
        {error, "No error\n", bad, "-7|untouched"},
        {error, "-222,\"" + std::string(300, 'x') + "\"\n", ok, "-222|" + std::string(256, 'x')},
        {revision, "ZE,7101QX,12345,REV 1.07\n", ok, "REV 1.07"}, {serial, "ZE,7103QX,SN-42,1.07\n", ok, "SN-42"},
        {serial, "ZE,7101QX\n", bad, "untouched"}, // ends before the third field
        {line, std::string(5000, 'A') + "\n", ok, std::string(256, 'A')},
        {line, "OK\n", ok, "OK"}, // what the long answer left was dropped
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        device->queue(cases[i].answer);
        EXPECT_EQ(cases[i].scan(), (Result{cases[i].status, cases[i].outputs})) << "case " << i;
        EXPECT_EQ(device->pendingAnswers(), 0u) << "case " << i;
    }
}

TEST_F(SessionTest, FlushOnAccessDropsWhatAScanLeftFlushDisableKeepsItForTheNextCall)
{
    open("GPIB::5::INSTR");
    for (const char *answer : {"120.0\n", "50.0\n", "1.5,2.5\n", "9.0\n", "ABCDEFG", "  7101QX rest"})
        device->queue(answer, true);
    EXPECT_EQ(scan<ViReal64>("%lf"), result(VI_SUCCESS, 120.0)); // the "\n" is left and dropped
    EXPECT_EQ(scan<ViReal64>("%lf"), result(VI_SUCCESS, 50.0));
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_DISABLE), VI_SUCCESS);
    EXPECT_EQ(scan<ViReal64>("%lf"), result(VI_SUCCESS, 1.5));
    EXPECT_EQ(scan<ViReal64>(",%lf"), result(VI_SUCCESS, 2.5)); // from what was left
    EXPECT_EQ(scan<ViReal64>("%lf", -1), result(VI_ERROR_INV_RESPONSE, -1.0)); // the leftover "\n" ends it
    EXPECT_EQ(device->pendingAnswers(), 3u);
    EXPECT_EQ(scan<ViReal64>("%lf\n"), result(VI_SUCCESS, 9.0)); // now a new message

    // What a field width leaves is there for the next call.
    ViChar part[4] = {}, letter[1] = {'?'}, word[8] = {};
    const auto take = [&](auto status) { return result(status, part, std::string(letter, 1), word); };
    EXPECT_EQ(take(viScanf(io, "%3[A-Z]", part)), result(VI_SUCCESS, "ABC", "?", ""));
    EXPECT_EQ(take(viScanf(io, "%3[A-Z]", part)), result(VI_SUCCESS, "DEF", "?", ""));
    EXPECT_EQ(take(viScanf(io, "%c", letter)), result(VI_SUCCESS, "DEF", "G", ""));
    EXPECT_EQ(take(viScanf(io, "%s", word)), result(VI_SUCCESS, "DEF", "G", "7101QX")); // at most 7 and the NUL
    EXPECT_EQ(take(viScanf(io, "%3s", word)), result(VI_SUCCESS, "DEF", "G", "res"));
}

TEST_F(SessionTest, GpibAnswersEndAtEoiAndMayArriveInPieces)
{
    open("GPIB::5::INSTR");
    device->pieces(3);
    device->queue("+1.20000E+02", true);
    EXPECT_EQ(scan<ViReal64>("%lf"), result(VI_SUCCESS, 120.0));
    device->queue("7," + std::string(4500, 'x'), true);
    device->queue("8", true);
    EXPECT_EQ(scan<ViInt32>("%ld"), result(VI_SUCCESS, 7));
    EXPECT_EQ(scan<ViInt32>("%ld"), result(VI_SUCCESS, 8));
    device->queue("5", false); // no EOI: the read waits for it and times out
    EXPECT_EQ(scan<ViInt32>("%ld", -1), result(VI_ERROR_TMO, -1));
    EXPECT_EQ(timeline.events(), std::vector<std::string>{"timeout 2"});
}
