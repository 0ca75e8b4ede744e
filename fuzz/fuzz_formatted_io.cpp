// viPrintf and viScanf with a format chosen at run time and an instrument's answer, both from the
// input. The arguments are made to fit the format (so the engines, not only the checks, run),
// each in a heap block of exactly its size so that any write past it is caught.
//
// Input: <settings byte> <piece size byte> <format> NUL <answer>
//   settings bit 0-1 buffer size (1, 7, 64, 4000)   bit 2 read buffer flushed on access
//            bit 3   END on the answer's last byte   bit 4 termination character '\n' on
//            bit 5   char destinations as pointers   bit 6-7 which printf values
//   piece size: bytes the instrument hands out per read, 0 for all it has.
#include "runtime/clock.h"
#include "visa/device.h"
#include "visa/visa.h"

#include <algorithm>
#include <cmath>
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

class AnswerDevice : public qx::visa::Device {
public:
    void load(std::string answer, std::size_t piece, bool end)
    {
        answer_ = std::move(answer);
        piece_ = piece == 0 ? answer_.size() : piece;
        end_ = end;
    }
    bool write(std::string_view, bool) override { return true; }
    qx::visa::DeviceRead read(std::size_t max) override
    {
        qx::visa::DeviceRead r;
        if (answer_.empty())
            return r; // silent: the read times out on the virtual clock
        const std::size_t n = std::min({max, piece_, answer_.size()});
        r.status = qx::visa::DeviceRead::Status::Data;
        r.bytes = answer_.substr(0, n);
        answer_.erase(0, n);
        r.end = end_ && answer_.empty();
        return r;
    }
    void clear() override { answer_.clear(); }

private:
    std::string answer_;
    std::size_t piece_ = 0;
    bool end_ = false;
};

struct Values {
    long long int16;
    long long int32;
    long long int64;
    double real;
};

constexpr Values kValues[] = {
    {0, 0, 0, 0.0},
    {-32768, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<long long>::min(), -1e308},
    {32767, std::numeric_limits<std::int32_t>::max(), std::numeric_limits<long long>::max(), 5e-324},
    {-1, 120, -9000000000LL, std::numeric_limits<double>::quiet_NaN()},
};

// Arguments for a viPrintf format; empty when the format does not parse (the call refuses it).
std::vector<PrintArg> printArgs(std::string_view f, const Values &values, const std::string &text)
{
    std::vector<PrintArg> args;
    std::size_t pos = 0;
    for (;;) {
        fmt::Directive d;
        if (fmt::nextPrintf(f, pos, d) != fmt::Problem::None || d.step == fmt::Step::End)
            return args;
        fmt::ArgKind kind = fmt::ArgKind::Unusable;
        bool isChar = false;
        if (d.step != fmt::Step::Conversion || fmt::printfNeeds(d.conversion, kind, isChar) != fmt::Problem::None)
            continue;
        PrintArg arg;
        arg.info = {kind, isChar, 0};
        switch (kind) {
        case fmt::ArgKind::Int16: arg.integer = isChar ? 'A' : values.int16; break;
        case fmt::ArgKind::Int32: arg.integer = values.int32; break;
        case fmt::ArgKind::Int64: arg.integer = values.int64; break;
        case fmt::ArgKind::Real: arg.real = values.real; break;
        default:
            arg.text = text.c_str();
            arg.length = text.size();
        }
        args.push_back(arg);
    }
}

std::size_t storageSize(fmt::ArgKind kind)
{
    switch (kind) {
    case fmt::ArgKind::Int16Out: return sizeof(std::int16_t);
    case fmt::ArgKind::Int32Out: return sizeof(std::int32_t);
    case fmt::ArgKind::Int64Out: return sizeof(long long);
    case fmt::ArgKind::Real32Out: return sizeof(float);
    default: return sizeof(double);
    }
}

// Destinations for a viScanf format, each in its own exactly sized block.
std::vector<ScanArg> scanArgs(std::string_view f, bool pointers, std::vector<std::unique_ptr<char[]>> &blocks)
{
    std::vector<ScanArg> args;
    std::size_t pos = 0;
    for (;;) {
        fmt::Directive d;
        if (fmt::nextScanf(f, pos, d) != fmt::Problem::None || d.step == fmt::Step::End)
            return args;
        fmt::ArgKind kind = fmt::ArgKind::Unusable;
        if (d.step != fmt::Step::Conversion || d.conversion.suppress ||
            fmt::scanfNeeds(d.conversion, kind) != fmt::Problem::None)
            continue;
        ScanArg arg;
        arg.info = {kind, false, 0};
        std::size_t size = storageSize(kind);
        if (kind == fmt::ArgKind::CharsOut) {
            const bool isC = d.conversion.code == 'c';
            const std::size_t width = d.conversion.width > 0 ? static_cast<std::size_t>(d.conversion.width) : (isC ? 1 : 0);
            size = width == 0 ? 64 : width + (isC ? 0 : 1);
            if (!(pointers && width > 0))
                arg.info.capacity = size; // a char array; a pointer is bounded by the width alone
        }
        blocks.push_back(std::make_unique<char[]>(size));
        arg.target = blocks.back().get();
        args.push_back(arg);
    }
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
    static const auto device = std::make_shared<AnswerDevice>();
    static const bool attached = qx::visa::attachDevice(kResource, device);
    static ViSession rm = VI_NULL;
    if (!attached || (rm == VI_NULL && viOpenDefaultRM(&rm) != VI_SUCCESS) || size < 2)
        return 0;

    const std::uint8_t settings = data[0];
    const std::string rest(reinterpret_cast<const char *>(data + 2), size - 2);
    const std::size_t nul = rest.find('\0');
    const std::string format = rest.substr(0, nul);
    const std::string answer = nul == std::string::npos ? std::string() : rest.substr(nul + 1);

    device->load(answer, data[1], (settings & 8) != 0);
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
