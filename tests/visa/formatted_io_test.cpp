// viPrintf / viScanf with the formats and buffer settings of the instrument driver.
#include <cstring>
#include <string>

#include "session_fixture.h"

using namespace qx::visa;
using qx::visa::test::ScriptedDevice;
using qx::visa::test::SessionTest;
using Write = ScriptedDevice::Write;

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

// The driver's formats with their arguments.
static_assert(printfCheck<double>("VOLT %lf") == Problem::None);
static_assert(printfCheck<double>("OUTP:DROP %f\n") == Problem::None);
static_assert(printfCheck<ViInt32>("OUTP %ld") == Problem::None);
static_assert(printfCheck<ViInt16>("%hd") == Problem::None);
static_assert(printfCheck<const char *>("%s?\n") == Problem::None);
static_assert(printfCheck<char[5]>("%s?") == Problem::None);
static_assert(printfCheck<std::string>("%s") == Problem::None);
static_assert(scanfCheck<ViReal64 *>("%lf\n") == Problem::None);
static_assert(scanfCheck<ViReal32 *>("%f") == Problem::None);
static_assert(scanfCheck<ViInt32 *>("%ld") == Problem::None);
static_assert(scanfCheck<ViInt32 *>("%d\n") == Problem::None);
static_assert(scanfCheck<ViInt16 *>("%hd\n") == Problem::None);
static_assert(scanfCheck<ViInt32 *, ViChar (&)[257]>("%ld,\"%256[^\"]\n") == Problem::None);
static_assert(scanfCheck<ViInt32 *, ViChar *>("%ld,\"%256[^\"]") == Problem::None);
static_assert(scanfCheck<ViChar (&)[257]>("%*[^,],%*[^,],%*[^,],%256[^\n]\n") == Problem::None);
static_assert(scanfCheck<ViChar (&)[257]>("%*[^,],%*[^,],%256[^,],%*[^\n]\n") == Problem::None);

// VISA sizes, not the host's: %ld is 32 bits, %lf a double, %f in viScanf a float.
static_assert(printfCheck<long>("%ld") == Problem::ArgumentMismatch);
static_assert(printfCheck<long long>("%lld") == Problem::None);
static_assert(printfCheck<ViInt32>("%hd") == Problem::ArgumentMismatch);
static_assert(printfCheck<int>("%lf") == Problem::ArgumentMismatch);
static_assert(printfCheck<double>("%ld") == Problem::ArgumentMismatch);
static_assert(printfCheck<bool>("%d") == Problem::ArgumentMismatch);
static_assert(printfCheck<ViInt32>("%s") == Problem::ArgumentMismatch);
static_assert(scanfCheck<long *>("%ld") == Problem::ArgumentMismatch);
static_assert(scanfCheck<ViReal64 *>("%f") == Problem::ArgumentMismatch);
static_assert(scanfCheck<ViReal32 *>("%lf") == Problem::ArgumentMismatch);
static_assert(scanfCheck<ViInt32 *>("%hd") == Problem::ArgumentMismatch);
static_assert(scanfCheck<const ViInt32 *>("%ld") == Problem::ArgumentMismatch);
static_assert(scanfCheck<ViInt32>("%ld") == Problem::ArgumentMismatch);
// Buffers: a char pointer needs a width, an array must hold the width and the NUL.
static_assert(scanfCheck<ViChar *>("%[^\n]") == Problem::NeedsWidth);
static_assert(scanfCheck<ViChar (&)[256]>("%256[^\n]") == Problem::FieldTooWide);
static_assert(scanfCheck<ViChar (&)[256]>("%255[^\n]") == Problem::None);
static_assert(scanfCheck<ViChar (&)[16]>("%s") == Problem::None);
static_assert(scanfCheck<ViChar (&)[2]>("%3c") == Problem::FieldTooWide);
// Counts and syntax.
static_assert(printfCheck<>("%ld") == Problem::TooFewArguments);
static_assert(printfCheck<ViInt32, ViInt32>("%ld") == Problem::TooManyArguments);
static_assert(scanfCheck<ViInt32 *>("%*ld") == Problem::TooManyArguments);
static_assert(printfCheck<ViInt32>("%") == Problem::Invalid);
static_assert(printfCheck<ViInt32>("%k") == Problem::Invalid);
static_assert(scanfCheck<ViChar *>("%5[^,") == Problem::Invalid);
static_assert(scanfCheck<ViInt32 *>("%0d") == Problem::Invalid);
static_assert(printfCheck<ViInt32>("%x") == Problem::Unsupported);
static_assert(printfCheck<ViInt32>("%*d") == Problem::Unsupported);
static_assert(scanfCheck<ViChar *>("%256t") == Problem::Unsupported);
static_assert(scanfCheck<ViInt32 *>("%,3d") == Problem::Unsupported);
static_assert(printfCheck<>("100%% done\n") == Problem::None);

} // namespace

// ---- viPrintf --------------------------------------------------------------------------------

TEST_F(SessionTest, PrintfFormatsLikeCPrintfAndSendsEachCallAtOnceWithEnd)
{
    open("GPIB::5::INSTR");
    const ViChar range[] = "VOLT:RANG";
    EXPECT_EQ(viPrintf(io, "VOLT %lf", 120.0), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "OUTP:STAR:PHAS %f", 90.0), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "OUTP %ld", ViInt32{1}), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "DISP:MODE %d;%hd", -7, ViInt16{-32768}), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "%s?", range), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "%s|%s", std::string("a"), std::string_view("b")), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "[%5d][%-4d][%+d][%05.1f][%.2s][%3s][% d]", 42, 7, 3, -2.25, "abc", "x", 5), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "%e %g %.3f %lld", 1234.5, 0.0001, -0.0005, -9000000000LL), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "%f", 1e20), VI_SUCCESS);
    EXPECT_EQ(device->writes(), (std::vector<Write>{
                                    {"VOLT 120.000000", true},
                                    {"OUTP:STAR:PHAS 90.000000", true},
                                    {"OUTP 1", true},
                                    {"DISP:MODE -7;-32768", true},
                                    {"VOLT:RANG?", true},
                                    {"a|b", true},
                                    {"[   42][7   ][+3][-02.2][ab][  x][ 5]", true},
                                    {"1.234500e+03 0.0001 -0.001 -9000000000", true},
                                    {"100000000000000000000.000000", true},
                                }));
}

TEST_F(SessionTest, PrintfFlushesAtTheFormatsLineFeedsAndWhenTheBufferIsFull)
{
    open("GPIB::5::INSTR", false); // the VISA default: flush when full
    EXPECT_EQ(viPrintf(io, "*RST"), VI_SUCCESS);
    EXPECT_TRUE(device->writes().empty());
    EXPECT_EQ(viPrintf(io, ";*CLS\nSYST:REM"), VI_SUCCESS);
    EXPECT_EQ(device->writes(), (std::vector<Write>{{"*RST;*CLS\n", true}}));
    EXPECT_EQ(viFlush(io, VI_WRITE_BUF), VI_SUCCESS);
    EXPECT_EQ(device->writes().back(), (Write{"SYST:REM", true}));

    ASSERT_EQ(viSetBuf(io, VI_WRITE_BUF, 4), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "%s", "ABCDEFGHIJ"), VI_SUCCESS);
    const auto writes = device->writes();
    ASSERT_EQ(writes.size(), 5u);
    EXPECT_EQ(writes[2], (Write{"ABCD", false}));
    EXPECT_EQ(writes[3], (Write{"EFGH", false}));
    EXPECT_EQ(writes[4], (Write{"IJ", true}));
}

TEST_F(SessionTest, SerialPrintfSendsTheTextExactlyAsFormatted)
{
    open("ASRL1::INSTR");
    EXPECT_EQ(viPrintf(io, "VOLT %lf\n", 120.0), VI_SUCCESS);
    EXPECT_EQ(viPrintf(io, "%s?\n", "FREQ"), VI_SUCCESS);
    EXPECT_EQ(device->sent(), "VOLT 120.000000\nFREQ?\n");
    for (const Write &w : device->writes())
        EXPECT_FALSE(w.end); // a serial line has no END: the line feed is the message end
}

TEST_F(SessionTest, RuntimeFormatsAreCheckedBeforeAnyIo)
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
    EXPECT_EQ(viScanf(io, RuntimeFormat{"%ld"}, integer), VI_ERROR_INV_FMT);
    EXPECT_TRUE(device->writes().empty());
    EXPECT_EQ(device->reads(), 0);
    EXPECT_EQ(real, 1.5);
    EXPECT_STREQ(small, "keep");

    device->answer("7", true);
    EXPECT_EQ(viScanf(io, RuntimeFormat{"%ld"}, &integer), VI_SUCCESS);
    EXPECT_EQ(integer, 7);
}

// ---- viScanf with the driver's formats ------------------------------------------------------

struct ScanCase {
    const char *answer;
    ViStatus status;
    double value; // expected on success
};

TEST_F(SessionTest, RealFormatsTakeNrfNumbersAndRefuseGarbage)
{
    open("ASRL1::INSTR");
    const ScanCase cases[] = {
        {"120.000\n", VI_SUCCESS, 120.0},  {"+1.20E+02\n", VI_SUCCESS, 120.0}, {"120\n", VI_SUCCESS, 120.0},
        {"-5.5\n", VI_SUCCESS, -5.5},      {" .5\r\n", VI_SUCCESS, 0.5},       {"9.9E37\n", VI_SUCCESS, 9.9e37},
        {"abc\n", VI_ERROR_INV_RESPONSE, 0}, {"\n", VI_ERROR_INV_RESPONSE, 0}, {"1.5E\n", VI_ERROR_INV_RESPONSE, 0},
        {"-\n", VI_ERROR_INV_RESPONSE, 0},  {"1e999\n", VI_ERROR_INV_RESPONSE, 0},
    };
    for (const ScanCase &c : cases) {
        device->answer(c.answer);
        ViReal64 value = -777.0;
        EXPECT_EQ(viScanf(io, "%lf\n", &value), c.status) << c.answer;
        EXPECT_EQ(value, c.status == VI_SUCCESS ? c.value : -777.0) << c.answer;
    }
    device->answer("3.25\n");
    ViReal32 single = 0.0f;
    EXPECT_EQ(viScanf(io, "%f\n", &single), VI_SUCCESS);
    EXPECT_EQ(single, 3.25f);
    device->answer("1e39\n"); // beyond a float
    EXPECT_EQ(viScanf(io, "%f\n", &single), VI_ERROR_INV_RESPONSE);
    EXPECT_EQ(single, 3.25f);
    EXPECT_EQ(device->pendingAnswers(), 0u);
}

TEST_F(SessionTest, IntegerFormatsTakeASignAndDigitsThatFitTheirSize)
{
    open("GPIB::5::INSTR");
    const std::pair<const char *, ViStatus> longCases[] = {
        {"2147483647", VI_SUCCESS},  {"-2147483648", VI_SUCCESS},          {"+1", VI_SUCCESS},
        {"2147483648", VI_ERROR_INV_RESPONSE}, {"-2147483649", VI_ERROR_INV_RESPONSE},
        {"99999999999999999999999", VI_ERROR_INV_RESPONSE}, {"x1", VI_ERROR_INV_RESPONSE}, {"+", VI_ERROR_INV_RESPONSE},
    };
    for (const auto &[answer, status] : longCases) {
        device->answer(answer, true);
        ViInt32 value = 55;
        EXPECT_EQ(viScanf(io, "%ld", &value), status) << answer;
        if (status == VI_SUCCESS)
            EXPECT_EQ(std::to_string(value), answer[0] == '+' ? std::string(answer + 1) : answer);
        else
            EXPECT_EQ(value, 55) << answer;
    }
    // "SYST:ERR?" answers with the number first: %hd takes just that.
    device->answer("-113,\"Undefined header\"", true);
    ViInt16 error = 0;
    EXPECT_EQ(viScanf(io, "%hd", &error), VI_SUCCESS);
    EXPECT_EQ(error, -113);
    device->answer("32768", true);
    EXPECT_EQ(viScanf(io, "%hd", &error), VI_ERROR_INV_RESPONSE);
    EXPECT_EQ(error, -113);
    device->answer("1.0", true); // the integer ends at the point, as in C
    ViInt32 relay = 0;
    EXPECT_EQ(viScanf(io, "%d", &relay), VI_SUCCESS);
    EXPECT_EQ(relay, 1);
    long long big = 0;
    device->answer("-9000000000", true);
    EXPECT_EQ(viScanf(io, "%lld", &big), VI_SUCCESS);
    EXPECT_EQ(big, -9000000000LL);
}

TEST_F(SessionTest, ErrorQueryFormatTakesTheCodeAndTheQuotedText)
{
    open("ASRL1::INSTR");
    ViInt32 code = 99;
    ViChar message[257] = "untouched";
    device->answer("-113,\"Undefined header\"\n");
    EXPECT_EQ(viScanf(io, "%ld,\"%256[^\"]\n", &code, message), VI_SUCCESS);
    EXPECT_EQ(code, -113);
    EXPECT_STREQ(message, "Undefined header");

    device->answer("0,\"\"\n"); // an empty text is a value
    EXPECT_EQ(viScanf(io, "%ld,\"%256[^\"]\n", &code, message), VI_SUCCESS);
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(message, "");

    // A caller's buffer passed as a pointer is bounded by the width.
    ViChar *out = message;
    device->answer("-222,\"" + std::string(300, 'x') + "\"\n");
    EXPECT_EQ(viScanf(io, "%ld,\"%256[^\"]\n", &code, out), VI_SUCCESS);
    EXPECT_EQ(std::strlen(message), 256u);

    // Short, garbled and wrong answers change nothing.
    std::strcpy(message, "untouched");
    code = 99;
    for (const char *bad : {"0\n", "0,\n", "No error\n", "0;\"x\"\n", "\n"}) {
        device->answer(bad);
        EXPECT_EQ(viScanf(io, "%ld,\"%256[^\"]\n", &code, message), VI_ERROR_INV_RESPONSE) << bad;
        EXPECT_EQ(code, 99) << bad;
        EXPECT_STREQ(message, "untouched") << bad;
    }
}

TEST_F(SessionTest, IdentificationFormatsSkipFieldsAndStopAtTheWidth)
{
    open("GPIB::5::INSTR");
    ViChar revision[257] = "untouched";
    device->answer("ZE,7101QX,12345,REV 1.07", true);
    EXPECT_EQ(viScanf(io, "%*[^,],%*[^,],%*[^,],%256[^\n]", revision), VI_SUCCESS);
    EXPECT_STREQ(revision, "REV 1.07");

    ViChar serial[257] = "untouched";
    device->answer("ZE,7103QX,SN-42,1.07\n", true);
    EXPECT_EQ(viScanf(io, "%*[^,],%*[^,],%256[^,],%*[^\n]\n", serial), VI_SUCCESS);
    EXPECT_STREQ(serial, "SN-42");

    device->answer("ZE,7101QX", true); // ends before the third field
    EXPECT_EQ(viScanf(io, "%*[^,],%*[^,],%256[^,],%*[^\n]\n", serial), VI_ERROR_INV_RESPONSE);
    EXPECT_STREQ(serial, "SN-42");

    // Characters beyond a width stay for the next call when the buffer is not flushed on access.
    ASSERT_EQ(viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_DISABLE), VI_SUCCESS);
    ViChar part[4] = {};
    device->answer("ABCDEFG", true);
    EXPECT_EQ(viScanf(io, "%3[A-Z]", part), VI_SUCCESS);
    EXPECT_STREQ(part, "ABC");
    EXPECT_EQ(viScanf(io, "%3[A-Z]", part), VI_SUCCESS);
    EXPECT_STREQ(part, "DEF");
    ViChar letter[1] = {'?'};
    EXPECT_EQ(viScanf(io, "%c", letter), VI_SUCCESS);
    EXPECT_EQ(letter[0], 'G');

    ViChar word[8] = {};
    device->answer("  7101QX rest", true);
    EXPECT_EQ(viScanf(io, "%s", word), VI_SUCCESS); // at most 7 characters and the NUL
    EXPECT_STREQ(word, "7101QX");
    EXPECT_EQ(viScanf(io, "%3s", word), VI_SUCCESS);
    EXPECT_STREQ(word, "res");
}

TEST_F(SessionTest, FlushOnAccessDropsTheRestOfTheAnswerFlushDisableKeepsIt)
{
    open("ASRL1::INSTR");
    ViReal64 value = 0;
    device->answer("120.0\n");
    device->answer("50.0\n");
    EXPECT_EQ(viScanf(io, "%lf", &value), VI_SUCCESS); // the "\n" is left and dropped
    EXPECT_EQ(value, 120.0);
    EXPECT_EQ(viScanf(io, "%lf", &value), VI_SUCCESS);
    EXPECT_EQ(value, 50.0);

    ASSERT_EQ(viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_DISABLE), VI_SUCCESS);
    device->answer("1.5,2.5\n");
    device->answer("9.0\n");
    EXPECT_EQ(viScanf(io, "%lf", &value), VI_SUCCESS);
    EXPECT_EQ(value, 1.5);
    EXPECT_EQ(viScanf(io, ",%lf", &value), VI_SUCCESS); // from what was left
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(viScanf(io, "%lf", &value), VI_ERROR_INV_RESPONSE); // the leftover "\n" ends the message
    EXPECT_EQ(device->pendingAnswers(), 1u);
    EXPECT_EQ(viScanf(io, "%lf", &value), VI_SUCCESS); // now a new message
    EXPECT_EQ(value, 9.0);
}

TEST_F(SessionTest, AnOversizeAnswerIsCutAtTheWidthAndDoesNotPoisonTheNextRead)
{
    open("ASRL1::INSTR");
    device->answer(std::string(5000, 'A') + "\n");
    device->answer("OK\n");
    ViChar text[257] = {};
    EXPECT_EQ(viScanf(io, "%256[^\n]\n", text), VI_SUCCESS);
    EXPECT_EQ(std::string(text), std::string(256, 'A'));
    EXPECT_EQ(device->pendingAnswers(), 1u); // the rest of the long answer was read and dropped
    EXPECT_EQ(viScanf(io, "%256[^\n]\n", text), VI_SUCCESS);
    EXPECT_STREQ(text, "OK");

    // A number longer than the buffer is garbage; the next answer still reads fresh.
    device->answer(std::string(4500, '1') + "\n");
    device->answer("2.5\n");
    ViReal64 value = -1;
    EXPECT_EQ(viScanf(io, "%lf\n", &value), VI_ERROR_INV_RESPONSE);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(viScanf(io, "%lf\n", &value), VI_SUCCESS);
    EXPECT_EQ(value, 2.5);
}

TEST_F(SessionTest, GpibAnswersEndAtEoiAndMayArriveInPieces)
{
    open("GPIB::5::INSTR");
    device->pieces(3);
    device->answer("+1.20000E+02", true);
    ViReal64 value = 0;
    EXPECT_EQ(viScanf(io, "%lf", &value), VI_SUCCESS);
    EXPECT_EQ(value, 120.0);

    device->answer("7," + std::string(4500, 'x'), true);
    device->answer("8", true);
    ViInt32 first = 0;
    EXPECT_EQ(viScanf(io, "%ld", &first), VI_SUCCESS);
    EXPECT_EQ(first, 7);
    EXPECT_EQ(viScanf(io, "%ld", &first), VI_SUCCESS);
    EXPECT_EQ(first, 8);

    device->answer("5", false); // no EOI: the read waits for it and times out
    EXPECT_EQ(viScanf(io, "%ld", &first), VI_ERROR_TMO);
    EXPECT_EQ(first, 8);
    EXPECT_EQ(timeline.events(), std::vector<std::string>{"timeout 2"});
}
