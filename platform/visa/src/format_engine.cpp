#include "format_engine.h"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace qx::visa::detail {

using format::ArgInfo;
using format::ArgKind;
using format::Directive;
using format::Length;
using format::Problem;
using format::Conversion;
using format::Step;

ViStatus formatStatus(Problem problem)
{
    switch (problem) {
    case Problem::None: return VI_SUCCESS;
    case Problem::Unsupported: return VI_ERROR_NSUP_FMT;
    default: return VI_ERROR_INV_FMT;
    }
}

namespace {

// ---- viPrintf ----------------------------------------------------------------------------------

void pad(std::string &out, std::string_view prefix, std::string_view body, const Conversion &s, bool zeroAllowed)
{
    const std::size_t length = prefix.size() + body.size();
    const std::size_t fill = s.width > 0 && static_cast<std::size_t>(s.width) > length ? s.width - length : 0;
    if (s.left) {
        out += prefix;
        out += body;
        out.append(fill, ' ');
    } else if (s.zero && zeroAllowed) {
        out += prefix;
        out.append(fill, '0');
        out += body;
    } else {
        out.append(fill, ' ');
        out += prefix;
        out += body;
    }
}

std::string_view signOf(bool negative, const Conversion &s)
{
    if (negative)
        return "-";
    if (s.plus)
        return "+";
    if (s.space)
        return " ";
    return {};
}

void formatInteger(std::string &out, long long value, const Conversion &s)
{
    const bool negative = value < 0;
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    char digits[32];
    std::size_t n = 0;
    if (!(s.precision == 0 && magnitude == 0))
        n = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
    std::string body;
    if (s.precision > 0 && static_cast<std::size_t>(s.precision) > n)
        body.assign(static_cast<std::size_t>(s.precision) - n, '0');
    body.append(digits, n);
    pad(out, signOf(negative, s), body, s, s.precision < 0);
}

void formatReal(std::string &out, double value, const Conversion &s)
{
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);
    const bool upper = s.code == 'E' || s.code == 'G';
    std::string body;
    if (std::isfinite(magnitude)) {
        const std::chars_format style = s.code == 'f' ? std::chars_format::fixed
                                        : (s.code == 'e' || s.code == 'E') ? std::chars_format::scientific
                                                                           : std::chars_format::general;
        char digits[400];
        const auto r = std::to_chars(digits, digits + sizeof digits, magnitude, style, s.precision < 0 ? 6 : s.precision);
        body.assign(digits, r.ec == std::errc() ? r.ptr : digits);
    } else {
        body = std::isnan(magnitude) ? "nan" : "inf";
    }
    if (upper)
        for (char &c : body)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
    pad(out, signOf(negative, s), body, s, std::isfinite(magnitude));
}

void formatText(std::string &out, std::string_view text, const Conversion &s)
{
    if (s.precision >= 0 && static_cast<std::size_t>(s.precision) < text.size())
        text = text.substr(0, static_cast<std::size_t>(s.precision));
    pad(out, {}, text, s, false);
}

// ---- viScanf -----------------------------------------------------------------------------------

enum class Outcome { Ok, Mismatch, Failed };

constexpr std::size_t maxNumberLength = 512;

bool isSpaceByte(int c) { return c >= 0 && format::isSpace(static_cast<char>(c)); }
bool isDigitByte(int c) { return c >= '0' && c <= '9'; }

Outcome skipSpace(ScanInput &in, bool mayFetch)
{
    for (;;) {
        const int c = in.peek(mayFetch);
        if (c == ScanInput::Failed)
            return Outcome::Failed;
        if (!isSpaceByte(c))
            return Outcome::Ok;
        in.advance();
    }
}

// Takes the next byte into `token` if `accept` says so and the width allows.
template <class Accept>
Outcome take(ScanInput &in, std::string &token, std::size_t limit, bool &taken, Accept accept)
{
    taken = false;
    if (token.size() >= limit)
        return Outcome::Ok;
    const int c = in.peek(true);
    if (c == ScanInput::Failed)
        return Outcome::Failed;
    if (c >= 0 && accept(c)) {
        token += static_cast<char>(c);
        in.advance();
        taken = true;
    }
    return Outcome::Ok;
}

std::size_t widthLimit(const Conversion &s, std::size_t fallback)
{
    return s.width > 0 ? static_cast<std::size_t>(s.width) : fallback;
}

Outcome scanInteger(ScanInput &in, const Conversion &s, ScanValue &v)
{
    if (skipSpace(in, true) == Outcome::Failed)
        return Outcome::Failed;
    const std::size_t limit = widthLimit(s, maxNumberLength);
    std::string token;
    bool taken = false;
    if (take(in, token, limit, taken, [](int c) { return c == '+' || c == '-'; }) == Outcome::Failed)
        return Outcome::Failed;
    do {
        if (take(in, token, limit, taken, isDigitByte) == Outcome::Failed)
            return Outcome::Failed;
    } while (taken);
    std::string_view digits = token;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    long long value = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
        return Outcome::Mismatch;
    const long long low = s.length == Length::Short ? INT16_MIN : (s.length == Length::LongLong ? INT64_MIN : INT32_MIN);
    const long long high = s.length == Length::Short ? INT16_MAX : (s.length == Length::LongLong ? INT64_MAX : INT32_MAX);
    if (value < low || value > high)
        return Outcome::Mismatch;
    v.integer = value;
    return Outcome::Ok;
}

// NRf: [sign] digits [. digits] [E [sign] digits], as SCPI instruments answer.
Outcome scanReal(ScanInput &in, const Conversion &s, ScanValue &v)
{
    if (skipSpace(in, true) == Outcome::Failed)
        return Outcome::Failed;
    const std::size_t limit = widthLimit(s, maxNumberLength);
    std::string token;
    bool taken = false;
    std::size_t mantissaDigits = 0;
    const auto sign = [](int c) { return c == '+' || c == '-'; };
    const auto digits = [&](std::size_t &count) {
        do {
            if (take(in, token, limit, taken, isDigitByte) == Outcome::Failed)
                return Outcome::Failed;
            count += taken ? 1 : 0;
        } while (taken);
        return Outcome::Ok;
    };
    if (take(in, token, limit, taken, sign) == Outcome::Failed || digits(mantissaDigits) == Outcome::Failed)
        return Outcome::Failed;
    if (take(in, token, limit, taken, [](int c) { return c == '.'; }) == Outcome::Failed)
        return Outcome::Failed;
    if (taken && digits(mantissaDigits) == Outcome::Failed)
        return Outcome::Failed;
    if (mantissaDigits == 0)
        return Outcome::Mismatch;
    if (take(in, token, limit, taken, [](int c) { return c == 'e' || c == 'E'; }) == Outcome::Failed)
        return Outcome::Failed;
    if (taken) {
        std::size_t exponentDigits = 0;
        if (take(in, token, limit, taken, sign) == Outcome::Failed || digits(exponentDigits) == Outcome::Failed)
            return Outcome::Failed;
        if (exponentDigits == 0)
            return Outcome::Mismatch;
    }
    std::string_view text = token;
    if (text.front() == '+')
        text.remove_prefix(1);
    double value = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(value))
        return Outcome::Mismatch;
    if (s.length != Length::Long && std::fabs(value) > static_cast<double>(FLT_MAX))
        return Outcome::Mismatch;
    v.real = value;
    return Outcome::Ok;
}

bool inScanSet(const Conversion &s, int c)
{
    bool found = false;
    const std::string_view set = s.set;
    for (std::size_t i = 0; i < set.size() && !found; ++i) {
        if (i + 2 < set.size() && set[i + 1] == '-') {
            const auto low = static_cast<unsigned char>(set[i]);
            const auto high = static_cast<unsigned char>(set[i + 2]);
            found = c >= low && c <= high;
            i += 2;
        } else {
            found = static_cast<unsigned char>(set[i]) == c;
        }
    }
    return found != s.negated;
}

Outcome scanChars(ScanInput &in, const Conversion &s, const ArgInfo *arg, ScanValue &v)
{
    std::size_t limit = std::numeric_limits<std::size_t>::max();
    if (s.code == 'c')
        limit = s.width > 0 ? static_cast<std::size_t>(s.width) : 1;
    else if (s.width > 0)
        limit = static_cast<std::size_t>(s.width);
    if (arg && arg->capacity > 0 && s.code != 'c' && limit > arg->capacity - 1)
        limit = arg->capacity - 1;
    v.terminate = s.code != 'c';
    bool taken = false;
    switch (s.code) {
    case 's':
        if (skipSpace(in, true) == Outcome::Failed)
            return Outcome::Failed;
        do {
            if (take(in, v.chars, limit, taken, [](int c) { return !isSpaceByte(c); }) == Outcome::Failed)
                return Outcome::Failed;
        } while (taken);
        return v.chars.empty() ? Outcome::Mismatch : Outcome::Ok;
    case '[':
        do {
            if (take(in, v.chars, limit, taken, [&](int c) { return inScanSet(s, c); }) == Outcome::Failed)
                return Outcome::Failed;
        } while (taken);
        if (v.chars.empty()) {
            // An empty field is a value (0,"" gives ""), but the message ending here is not.
            const int c = in.peek(true);
            if (c == ScanInput::Failed)
                return Outcome::Failed;
            if (c == ScanInput::NoInput)
                return Outcome::Mismatch;
        }
        return Outcome::Ok;
    default: // 'c'
        do {
            if (take(in, v.chars, limit, taken, [](int) { return true; }) == Outcome::Failed)
                return Outcome::Failed;
        } while (taken);
        return v.chars.size() == limit ? Outcome::Ok : Outcome::Mismatch;
    }
}

bool conversionsRemain(std::string_view f, std::size_t pos)
{
    for (;;) {
        Directive d;
        if (format::nextScanf(f, pos, d) != Problem::None || d.step == Step::End)
            return false;
        if (d.step == Step::Conversion)
            return true;
    }
}

std::vector<ArgInfo> infosOf(const PrintArg *args, std::size_t count)
{
    std::vector<ArgInfo> infos(count);
    for (std::size_t i = 0; i < count; ++i)
        infos[i] = args[i].info;
    return infos;
}

} // namespace

ViStatus formatOutput(std::string_view f, const PrintArg *args, std::size_t count, std::string &out,
                      std::vector<std::size_t> &messageEnds)
{
    const std::vector<ArgInfo> infos = infosOf(args, count);
    if (const ViStatus status = formatStatus(format::checkPrintf(f, infos.data(), count)); status < 0)
        return status;
    for (std::size_t i = 0; i < count; ++i)
        if (args[i].info.kind == ArgKind::Text && !args[i].text)
            return VI_ERROR_USER_BUF;
    std::size_t pos = 0;
    std::size_t next = 0;
    for (;;) {
        Directive d;
        format::nextPrintf(f, pos, d);
        if (d.step == Step::End)
            return VI_SUCCESS;
        if (d.step == Step::Literal) {
            out += d.literal;
            if (d.literal == '\n')
                messageEnds.push_back(out.size());
            continue;
        }
        const PrintArg &arg = args[next++];
        switch (d.conversion.code) {
        case 'd': case 'i': formatInteger(out, arg.integer, d.conversion); break;
        case 's': formatText(out, std::string_view(arg.text, arg.length), d.conversion); break;
        case 'c': {
            const char c = static_cast<char>(arg.integer);
            formatText(out, std::string_view(&c, 1), d.conversion);
            break;
        }
        default: formatReal(out, arg.real, d.conversion); break;
        }
    }
}

ViStatus checkScan(std::string_view f, const ScanArg *args, std::size_t count)
{
    std::vector<ArgInfo> infos(count);
    for (std::size_t i = 0; i < count; ++i)
        infos[i] = args[i].info;
    if (const ViStatus status = formatStatus(format::checkScanf(f, infos.data(), count)); status < 0)
        return status;
    for (std::size_t i = 0; i < count; ++i)
        if (!args[i].target)
            return VI_ERROR_USER_BUF;
    return VI_SUCCESS;
}

ViStatus scanFormatted(std::string_view f, const ScanArg *args, std::size_t count, ScanInput &in,
                       std::vector<ScanValue> &values)
{
    std::size_t pos = 0;
    std::size_t next = 0;
    for (;;) {
        Directive d;
        format::nextScanf(f, pos, d);
        switch (d.step) {
        case Step::End:
            return VI_SUCCESS;
        case Step::Whitespace:
            // Trailing white space matches what has arrived; it never waits for more.
            if (skipSpace(in, pos < f.size()) == Outcome::Failed)
                return in.failure();
            continue;
        case Step::Literal: {
            const int c = in.peek(true);
            if (c == ScanInput::Failed)
                return in.failure();
            if (c != static_cast<unsigned char>(d.literal))
                return conversionsRemain(f, pos) ? VI_ERROR_INV_RESPONSE : VI_SUCCESS;
            in.advance();
            continue;
        }
        case Step::Conversion:
            break;
        }
        const ArgInfo *arg = d.conversion.suppress || next >= count ? nullptr : &args[next].info;
        ScanValue value;
        Outcome outcome = Outcome::Ok;
        switch (d.conversion.code) {
        case 'd': outcome = scanInteger(in, d.conversion, value); break;
        case 's': case '[': case 'c': outcome = scanChars(in, d.conversion, arg, value); break;
        default: outcome = scanReal(in, d.conversion, value); break;
        }
        if (outcome == Outcome::Failed)
            return in.failure();
        if (outcome == Outcome::Mismatch)
            return VI_ERROR_INV_RESPONSE;
        if (arg) {
            value.kind = arg->kind;
            values.push_back(std::move(value));
            ++next;
        }
    }
}

void commitScan(const ScanArg *args, std::size_t count, const std::vector<ScanValue> &values)
{
    for (std::size_t i = 0; i < count && i < values.size(); ++i) {
        const ScanValue &v = values[i];
        void *target = args[i].target;
        switch (args[i].info.kind) {
        case ArgKind::Int16Out: *static_cast<std::int16_t *>(target) = static_cast<std::int16_t>(v.integer); break;
        case ArgKind::Int32Out: *static_cast<std::int32_t *>(target) = static_cast<std::int32_t>(v.integer); break;
        case ArgKind::Int64Out: {
            const std::int64_t value = v.integer;
            std::memcpy(target, &value, sizeof value); // a long or a long long, both 64 bits
            break;
        }
        case ArgKind::Real32Out: *static_cast<float *>(target) = static_cast<float>(v.real); break;
        case ArgKind::Real64Out: *static_cast<double *>(target) = v.real; break;
        case ArgKind::CharsOut:
            std::memcpy(target, v.chars.data(), v.chars.size());
            if (v.terminate)
                static_cast<char *>(target)[v.chars.size()] = 0;
            break;
        default: break;
        }
    }
}

} // namespace qx::visa::detail
