#include "identification.h"

#include "exchange.h"
#include "runtime/strings.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace zev {
namespace {

constexpr std::string_view kMaker = "ZE";
constexpr std::string_view kMakerField = "ZE,";
// Where the number that Serial_ID reports starts.
constexpr std::size_t kSerialIdPosition = 8;

} // namespace

std::string_view Identity::text() const { return {bytes, std::strlen(bytes)}; }

ViStatus readIdentity(ViSession vi, ViSession io, double pause, Identity &identity)
{
    ViStatus status = send(vi, io, scpi(Scpi::IdentityQuery));
    if (status < 0)
        return status;
    serialDelay(vi, kStatusPause);
    qx::runtime::Delay(pause);
    status = readRawAnswer(io, identity.bytes);
    return status < 0 ? record(vi, status) : VI_SUCCESS;
}

bool fromOurMaker(std::string_view answer) { return answer.substr(0, kMaker.size()) == kMaker; }

ViInt32 modelNumber(std::string_view answer)
{
    const std::size_t digit = answer.find_first_of("0123456789");
    if (digit == std::string_view::npos)
        return 0;
    // A number beyond 32 bits names no model: the largest one stands for it.
    long long number = 0;
    const auto [end, error] = std::from_chars(answer.data() + digit, answer.data() + answer.size(), number);
    return error != std::errc() || number > INT32_MAX ? INT32_MAX : static_cast<ViInt32>(number);
}

std::optional<std::string_view> modelField(std::string_view answer)
{
    const int maker = qx::runtime::FindPattern(answer, 0, -1, kMakerField, false, false);
    if (maker < 0)
        return std::nullopt;
    const std::string_view rest = answer.substr(static_cast<std::size_t>(maker) + kMakerField.size());
    return rest.substr(0, rest.find_first_of(",\r\n"));
}

std::optional<ViInt32> serialId(std::string_view answer)
{
    if (answer.size() <= kSerialIdPosition)
        return std::nullopt;
    ViInt32 value = 0;
    const char *first = answer.data() + kSerialIdPosition;
    const auto [end, error] = std::from_chars(first, answer.data() + answer.size(), value);
    if (error != std::errc() || end == first)
        return std::nullopt;
    return value;
}

} // namespace zev
