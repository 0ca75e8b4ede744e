// viPrintf and viScanf with a format chosen at run time and an instrument's answer, both from the
// input. The arguments are made to fit the format (so the engines, not only the checks, run),
// each in a heap block of exactly its size so that any write past it is caught.
//
// Input: <settings byte> <piece size byte> <format> NUL <answer>
//   settings bit 0-1 buffer size (1, 7, 64, 4000)   bit 2 read buffer flushed on access
//            bit 3   END on the answer's last byte   bit 4 termination character '\n' on
//            bit 5   char destinations as pointers   bit 6-7 which printf values
//   piece size: bytes the instrument hands out per read, 0 for all it has.
#include "scripted_device.h"
#include "runtime/clock.h"
#include "visa/visa.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fmt = qx::visa::format;
using qx::visa::detail::PrintArg;
using qx::visa::detail::ScanArg;

constexpr char kResource[] = "GPIB0::7::INSTR";

struct Values {
    long long int16, int32, int64;
    double real;
};

constexpr Values kValues[] = {
    {0, 0, 0, 0.0},
    {-32768, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<long long>::min(), -1e308},
    {32767, std::numeric_limits<std::int32_t>::max(), std::numeric_limits<long long>::max(), 5e-324},
    {-1, 120, -9000000000LL, std::numeric_limits<double>::quiet_NaN()},
};

// Calls `add` with each conversion of `f` that `next` (nextPrintf or nextScanf) reads, up to the end
// or the first directive that does not parse.
template <class Next, class Add>
void forEachConversion(std::string_view f, Next next, Add add)
{
    fmt::Directive d;
    for (std::size_t pos = 0; next(f, pos, d) == fmt::Problem::None && d.step != fmt::Step::End; d = {})
        if (d.step == fmt::Step::Conversion)
            add(d.conversion);
}

// Arguments for a viPrintf format, each of the kind its conversion needs.
std::vector<PrintArg> printArgs(std::string_view f, const Values &values, const std::string &text)
{
    std::vector<PrintArg> args;
    forEachConversion(f, fmt::nextPrintf, [&](const fmt::Conversion &c) {
        PrintArg arg;
        if (fmt::printfNeeds(c, arg.info.kind, arg.info.isChar) != fmt::Problem::None)
            return;
        switch (arg.info.kind) {
        case fmt::ArgKind::Int16: arg.integer = arg.info.isChar ? 'A' : values.int16; break;
        case fmt::ArgKind::Int32: arg.integer = values.int32; break;
        case fmt::ArgKind::Int64: arg.integer = values.int64; break;
        case fmt::ArgKind::Real: arg.real = values.real; break;
        default: arg.text = text.c_str(), arg.length = text.size();
        }
        args.push_back(arg);
    });
    return args;
}

// Destinations for a viScanf format, each in its own exactly sized block.
std::vector<ScanArg> scanArgs(std::string_view f, bool pointers, std::vector<std::unique_ptr<char[]>> &blocks)
{
    std::vector<ScanArg> args;
    forEachConversion(f, fmt::nextScanf, [&](const fmt::Conversion &c) {
        ScanArg arg;
        if (c.suppress || fmt::scanfNeeds(c, arg.info.kind) != fmt::Problem::None)
            return;
        using K = fmt::ArgKind;
        const K kind = arg.info.kind;
        std::size_t size = kind == K::Int16Out ? sizeof(std::int16_t) : kind == K::Int32Out ? sizeof(std::int32_t)
                         : kind == K::Int64Out ? sizeof(long long) : kind == K::Real32Out ? sizeof(float) : sizeof(double);
        if (kind == K::CharsOut) {
            const bool isC = c.code == 'c';
            const std::size_t width = c.width > 0 ? static_cast<std::size_t>(c.width) : (isC ? 1 : 0);
            size = width == 0 ? 64 : width + (isC ? 0 : 1);
            if (!(pointers && width > 0))
                arg.info.capacity = size; // a char array; a pointer is bounded by the width alone
        }
        blocks.push_back(std::make_unique<char[]>(size));
        arg.target = blocks.back().get();
        args.push_back(arg);
    });
    return args;
}

ViSession openSession(ViSession rm, std::uint8_t settings)
{
    constexpr ViUInt32 kBufferSizes[] = {1, 7, 64, 4000};
    ViSession io = VI_NULL;
    if (viOpen(rm, kResource, VI_NULL, 0, &io) != VI_SUCCESS)
        return VI_NULL;
    viSetBuf(io, VI_READ_BUF | VI_WRITE_BUF, kBufferSizes[settings & 3]);
    viSetAttribute(io, VI_ATTR_RD_BUF_OPER_MODE, (settings & 4) ? VI_FLUSH_ON_ACCESS : VI_FLUSH_DISABLE);
    viSetAttribute(io, VI_ATTR_TERMCHAR_EN, (settings & 16) ? VI_TRUE : VI_FALSE);
    viSetAttribute(io, VI_ATTR_TMO_VALUE, 100);
    return io;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static qx::runtime::VirtualClock clock; // time-outs cost no real time
    static qx::runtime::ScopedClock clockGuard(clock);
    static ViSession rm = VI_NULL;
    const auto device = std::make_shared<qx::test::ScriptedDevice>(); // a fresh one for each input
    if ((rm == VI_NULL && viOpenDefaultRM(&rm) != VI_SUCCESS) || size < 2 ||
        !qx::visa::attachDevice(kResource, device))
        return 0;

    const std::uint8_t settings = data[0];
    const std::string rest(reinterpret_cast<const char *>(data + 2), size - 2);
    const std::size_t nul = rest.find('\0');
    const std::string format = rest.substr(0, nul);
    const std::string answer = nul == std::string::npos ? std::string() : rest.substr(nul + 1);

    if (!answer.empty())
        device->queue(answer, (settings & 8) != 0);
    if (data[1] != 0)
        device->pieces(data[1]);
    const ViSession io = openSession(rm, settings);
    if (io == VI_NULL)
        return 0;
    const std::vector<PrintArg> printed = printArgs(format, kValues[settings >> 6], answer);
    qx::visa::detail::printfArgs(io, format.c_str(), printed.data(), printed.size());
    std::vector<std::unique_ptr<char[]>> blocks;
    const std::vector<ScanArg> scanned = scanArgs(format, (settings & 32) != 0, blocks);
    qx::visa::detail::scanfArgs(io, format.c_str(), scanned.data(), scanned.size());
    viClose(io);
    return 0;
}
