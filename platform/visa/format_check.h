// The grammar of viPrintf / viScanf formats and the rule of which argument fits which conversion.
// Everything here is constexpr: the same code checks a string-literal format at compile time and
// a run-time format before any I/O. VISA sizes hold whatever the host's `long` is: %d and %ld are
// 32-bit, %hd 16-bit, %lld 64-bit; %lf is a double and, in viScanf, %f a float.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

namespace qx::visa::format {

enum class Problem : std::uint8_t {
    None,
    Invalid,          // not a format: bad syntax, unknown conversion
    Unsupported,      // a VISA/ANSI conversion or modifier this layer does not implement
    TooFewArguments,
    TooManyArguments,
    ArgumentMismatch, // the argument's type does not fit the conversion
    NeedsWidth,       // a plain char pointer needs a field width to bound the copy
    FieldTooWide      // the field width does not fit the char array (plus its NUL)
};

// What an argument can be used for. Values for viPrintf, destinations for viScanf.
enum class ArgKind : std::uint8_t {
    Unusable,
    Int16,
    Int32,
    Int64,
    Real,
    Text,
    Int16Out,
    Int32Out,
    Int64Out,
    Real32Out,
    Real64Out,
    CharsOut
};

struct ArgInfo {
    ArgKind kind = ArgKind::Unusable;
    bool isChar = false;       // a character value (viPrintf %c)
    std::size_t capacity = 0;  // CharsOut / Text arrays: element count; 0 for a plain pointer
};

enum class Length : std::uint8_t { None, Short, Long, LongLong };

struct Conversion {
    char code = 0;
    Length length = Length::None;
    bool suppress = false; // viScanf '*'
    bool left = false;     // viPrintf flags
    bool plus = false;
    bool space = false;
    bool zero = false;
    int width = -1; // -1: none
    int precision = -1;
    bool negated = false;  // %[^...]
    std::string_view set;  // body of a scan set, without '^' and brackets
};

enum class Step : std::uint8_t { End, Literal, Whitespace, Conversion };

struct Directive {
    Step step = Step::End;
    char literal = 0;
    Conversion conversion;
};

inline constexpr int maxWidth = 100000;

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads a decimal field width or precision; Invalid when it is absurdly large.
constexpr Problem readNumber(std::string_view f, std::size_t &pos, int &value)
{
    value = 0;
    while (pos < f.size() && isDigit(f[pos])) {
        value = value * 10 + (f[pos] - '0');
        if (value > maxWidth)
            return Problem::Invalid;
        ++pos;
    }
    return Problem::None;
}

constexpr Problem readLength(std::string_view f, std::size_t &pos, Length &length)
{
    length = Length::None;
    if (pos >= f.size())
        return Problem::None;
    switch (f[pos]) {
    case 'h':
        ++pos;
        if (pos < f.size() && f[pos] == 'h')
            return Problem::Unsupported;
        length = Length::Short;
        return Problem::None;
    case 'l':
        ++pos;
        length = Length::Long;
        if (pos < f.size() && f[pos] == 'l') {
            ++pos;
            length = Length::LongLong;
        }
        return Problem::None;
    case 'L': case 'z': case 'Z': case 'j': case 't': case 'q': case '@': case ',': case '!':
        return Problem::Unsupported;
    default:
        return Problem::None;
    }
}

// Conversions VISA or ANSI C define that this layer refuses as unsupported rather than invalid.
constexpr bool isKnownUnsupported(char code)
{
    constexpr std::string_view known = "bByoOuxXpnaAtTiIC";
    return known.find(code) != std::string_view::npos;
}

constexpr Problem nextPrintf(std::string_view f, std::size_t &pos, Directive &d)
{
    d = Directive{};
    if (pos >= f.size())
        return Problem::None;
    if (f[pos] != '%') {
        d.step = Step::Literal;
        d.literal = f[pos++];
        return Problem::None;
    }
    if (++pos >= f.size())
        return Problem::Invalid;
    if (f[pos] == '%') {
        d.step = Step::Literal;
        d.literal = '%';
        ++pos;
        return Problem::None;
    }
    Conversion &s = d.conversion;
    for (bool flags = true; flags && pos < f.size();) {
        switch (f[pos]) {
        case '-': s.left = true; ++pos; break;
        case '+': s.plus = true; ++pos; break;
        case ' ': s.space = true; ++pos; break;
        case '0': s.zero = true; ++pos; break;
        case '#': return Problem::Unsupported;
        default: flags = false;
        }
    }
    if (pos < f.size() && f[pos] == '*')
        return Problem::Unsupported;
    if (pos < f.size() && isDigit(f[pos]) && readNumber(f, pos, s.width) != Problem::None)
        return Problem::Invalid;
    if (pos < f.size() && f[pos] == '.') {
        ++pos;
        if (pos < f.size() && f[pos] == '*')
            return Problem::Unsupported;
        if (readNumber(f, pos, s.precision) != Problem::None)
            return Problem::Invalid;
    }
    if (Problem p = readLength(f, pos, s.length); p != Problem::None)
        return p;
    if (pos >= f.size())
        return Problem::Invalid;
    s.code = f[pos++];
    d.step = Step::Conversion;
    return Problem::None;
}

constexpr Problem nextScanf(std::string_view f, std::size_t &pos, Directive &d)
{
    d = Directive{};
    if (pos >= f.size())
        return Problem::None;
    if (isSpace(f[pos])) {
        while (pos < f.size() && isSpace(f[pos]))
            ++pos;
        d.step = Step::Whitespace;
        return Problem::None;
    }
    if (f[pos] != '%') {
        d.step = Step::Literal;
        d.literal = f[pos++];
        return Problem::None;
    }
    if (++pos >= f.size())
        return Problem::Invalid;
    if (f[pos] == '%') {
        d.step = Step::Literal;
        d.literal = '%';
        ++pos;
        return Problem::None;
    }
    Conversion &s = d.conversion;
    if (f[pos] == '*') {
        s.suppress = true;
        ++pos;
    }
    if (pos < f.size() && f[pos] == '#')
        return Problem::Unsupported;
    if (pos < f.size() && isDigit(f[pos])) {
        if (readNumber(f, pos, s.width) != Problem::None || s.width == 0)
            return Problem::Invalid;
    }
    if (Problem p = readLength(f, pos, s.length); p != Problem::None)
        return p;
    if (pos >= f.size())
        return Problem::Invalid;
    s.code = f[pos++];
    if (s.code == '[') {
        if (pos < f.size() && f[pos] == '^') {
            s.negated = true;
            ++pos;
        }
        const std::size_t begin = pos;
        if (pos < f.size() && f[pos] == ']') // a leading ']' belongs to the set
            ++pos;
        while (pos < f.size() && f[pos] != ']')
            ++pos;
        if (pos >= f.size())
            return Problem::Invalid;
        s.set = f.substr(begin, pos - begin);
        ++pos;
    }
    d.step = Step::Conversion;
    return Problem::None;
}

// The argument a viPrintf conversion takes.
constexpr Problem printfNeeds(const Conversion &s, ArgKind &kind, bool &needsChar)
{
    needsChar = false;
    switch (s.code) {
    case 'd': case 'i':
        switch (s.length) {
        case Length::Short: kind = ArgKind::Int16; break;
        case Length::LongLong: kind = ArgKind::Int64; break;
        default: kind = ArgKind::Int32;
        }
        return Problem::None;
    case 'f': case 'e': case 'E': case 'g': case 'G':
        if (s.length == Length::Short || s.length == Length::LongLong)
            return Problem::Invalid;
        kind = ArgKind::Real;
        return Problem::None;
    case 's': case 'c':
        if (s.length == Length::Long)
            return Problem::Unsupported;
        if (s.length != Length::None)
            return Problem::Invalid;
        kind = s.code == 's' ? ArgKind::Text : ArgKind::Int16;
        needsChar = s.code == 'c';
        return Problem::None;
    default:
        return isKnownUnsupported(s.code) ? Problem::Unsupported : Problem::Invalid;
    }
}

// The destination a viScanf conversion writes.
constexpr Problem scanfNeeds(const Conversion &s, ArgKind &kind)
{
    switch (s.code) {
    case 'd':
        switch (s.length) {
        case Length::Short: kind = ArgKind::Int16Out; break;
        case Length::LongLong: kind = ArgKind::Int64Out; break;
        default: kind = ArgKind::Int32Out;
        }
        return Problem::None;
    case 'f': case 'e': case 'E': case 'g': case 'G':
        if (s.length == Length::Short || s.length == Length::LongLong)
            return Problem::Invalid;
        kind = s.length == Length::Long ? ArgKind::Real64Out : ArgKind::Real32Out;
        return Problem::None;
    case 's': case '[': case 'c':
        if (s.length == Length::Long)
            return Problem::Unsupported;
        if (s.length != Length::None)
            return Problem::Invalid;
        kind = ArgKind::CharsOut;
        return Problem::None;
    default:
        return isKnownUnsupported(s.code) ? Problem::Unsupported : Problem::Invalid;
    }
}

constexpr bool printfFits(ArgKind needed, bool needsChar, const ArgInfo &arg)
{
    if (needsChar)
        return arg.isChar;
    switch (needed) {
    case ArgKind::Int16: return arg.kind == ArgKind::Int16;
    case ArgKind::Int32: return arg.kind == ArgKind::Int16 || arg.kind == ArgKind::Int32;
    case ArgKind::Int64:
        return arg.kind == ArgKind::Int16 || arg.kind == ArgKind::Int32 || arg.kind == ArgKind::Int64;
    default: return arg.kind == needed;
    }
}

// Checks a viPrintf format against its arguments.
constexpr Problem checkPrintf(std::string_view f, const ArgInfo *args, std::size_t count)
{
    std::size_t pos = 0;
    std::size_t used = 0;
    for (;;) {
        Directive d;
        if (Problem p = nextPrintf(f, pos, d); p != Problem::None)
            return p;
        if (d.step == Step::End)
            break;
        if (d.step != Step::Conversion)
            continue;
        ArgKind needed = ArgKind::Unusable;
        bool needsChar = false;
        if (Problem p = printfNeeds(d.conversion, needed, needsChar); p != Problem::None)
            return p;
        if (used >= count)
            return Problem::TooFewArguments;
        if (!printfFits(needed, needsChar, args[used++]))
            return Problem::ArgumentMismatch;
    }
    return used < count ? Problem::TooManyArguments : Problem::None;
}

// Checks a viScanf format against its destinations.
constexpr Problem checkScanf(std::string_view f, const ArgInfo *args, std::size_t count)
{
    std::size_t pos = 0;
    std::size_t used = 0;
    for (;;) {
        Directive d;
        if (Problem p = nextScanf(f, pos, d); p != Problem::None)
            return p;
        if (d.step == Step::End)
            break;
        if (d.step != Step::Conversion)
            continue;
        ArgKind needed = ArgKind::Unusable;
        if (Problem p = scanfNeeds(d.conversion, needed); p != Problem::None)
            return p;
        if (d.conversion.suppress)
            continue;
        if (used >= count)
            return Problem::TooFewArguments;
        const ArgInfo &arg = args[used++];
        if (arg.kind != needed)
            return Problem::ArgumentMismatch;
        if (needed != ArgKind::CharsOut)
            continue;
        // %c stores exactly its width (default 1) without a NUL; %s and %[ store up to the
        // width and a NUL.
        const bool isC = d.conversion.code == 'c';
        const long long width = isC && d.conversion.width < 0 ? 1 : d.conversion.width;
        const long long capacity = static_cast<long long>(arg.capacity);
        if (arg.capacity == 0) {
            if (width < 0)
                return Problem::NeedsWidth;
        } else if (isC ? width > capacity : width >= capacity) {
            return Problem::FieldTooWide;
        }
    }
    return used < count ? Problem::TooManyArguments : Problem::None;
}

template <class T>
constexpr bool isCharType = std::is_same_v<T, char> || std::is_same_v<T, signed char> || std::is_same_v<T, unsigned char>;

template <class T>
constexpr bool isWideCharType = std::is_same_v<T, wchar_t> || std::is_same_v<T, char8_t> ||
                                std::is_same_v<T, char16_t> || std::is_same_v<T, char32_t>;

template <class T, class Wide>
constexpr bool fitsIn()
{
    using L = std::numeric_limits<T>;
    using W = std::numeric_limits<Wide>;
    if constexpr (std::is_signed_v<T>)
        return static_cast<long long>(L::min()) >= static_cast<long long>(W::min()) &&
               static_cast<long long>(L::max()) <= static_cast<long long>(W::max());
    else
        return static_cast<unsigned long long>(L::max()) <= static_cast<unsigned long long>(W::max());
}

// What a viPrintf argument of type T (cv-ref qualifiers ignored) can be printed as.
template <class T>
constexpr ArgInfo printfArgInfo()
{
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, bool> || isWideCharType<U>) {
        return {};
    } else if constexpr (isCharType<U>) {
        return {ArgKind::Int16, true, 0};
    } else if constexpr (std::is_integral_v<U>) {
        if constexpr (fitsIn<U, std::int16_t>())
            return {ArgKind::Int16, false, 0};
        else if constexpr (fitsIn<U, std::int32_t>())
            return {ArgKind::Int32, false, 0};
        else if constexpr (fitsIn<U, std::int64_t>())
            return {ArgKind::Int64, false, 0};
        else
            return {};
    } else if constexpr (std::is_same_v<U, double> || std::is_same_v<U, float>) {
        return {ArgKind::Real, false, 0};
    } else if constexpr (std::is_array_v<U> && std::rank_v<U> == 1 && isCharType<std::remove_cv_t<std::remove_extent_t<U>>>) {
        return {ArgKind::Text, false, std::extent_v<U>};
    } else if constexpr (std::is_pointer_v<U> && isCharType<std::remove_cv_t<std::remove_pointer_t<U>>>) {
        return {ArgKind::Text, false, 0};
    } else if constexpr (std::is_same_v<U, std::string> || std::is_same_v<U, std::string_view>) {
        return {ArgKind::Text, false, 0};
    } else {
        return {};
    }
}

// What a viScanf destination of type T (a pointer, or a reference to a char array) can receive.
template <class T>
constexpr ArgInfo scanfArgInfo()
{
    using U = std::remove_reference_t<T>;
    if constexpr (std::is_array_v<U> && std::rank_v<U> == 1) {
        if constexpr (std::is_same_v<std::remove_extent_t<U>, char>)
            return {ArgKind::CharsOut, false, std::extent_v<U>};
        else
            return {};
    } else if constexpr (std::is_pointer_v<std::remove_cv_t<U>>) {
        using P = std::remove_pointer_t<std::remove_cv_t<U>>;
        if constexpr (std::is_const_v<P> || std::is_volatile_v<P>)
            return {};
        else if constexpr (std::is_same_v<P, char>)
            return {ArgKind::CharsOut, false, 0};
        else if constexpr (std::is_same_v<P, std::int16_t>)
            return {ArgKind::Int16Out, false, 0};
        else if constexpr (std::is_same_v<P, std::int32_t>)
            return {ArgKind::Int32Out, false, 0};
        else if constexpr ((std::is_same_v<P, long> || std::is_same_v<P, long long>) && sizeof(P) == 8)
            return {ArgKind::Int64Out, false, 0};
        else if constexpr (std::is_same_v<P, float>)
            return {ArgKind::Real32Out, false, 0};
        else if constexpr (std::is_same_v<P, double>)
            return {ArgKind::Real64Out, false, 0};
        else
            return {};
    } else {
        return {};
    }
}

// Reached only while a format is checked at compile time: being non-constexpr, each call makes
// the compiler refuse the format and name the reason.
inline void format_string_is_invalid() {}
inline void format_conversion_is_not_supported() {}
inline void format_has_more_conversions_than_arguments() {}
inline void format_has_more_arguments_than_conversions() {}
inline void format_argument_type_does_not_fit_its_conversion() {}
inline void format_char_pointer_needs_a_field_width() {}
inline void format_field_width_does_not_fit_the_char_array() {}

constexpr void refuseAtCompileTime(Problem p)
{
    switch (p) {
    case Problem::None: return;
    case Problem::Invalid: format_string_is_invalid(); return;
    case Problem::Unsupported: format_conversion_is_not_supported(); return;
    case Problem::TooFewArguments: format_has_more_conversions_than_arguments(); return;
    case Problem::TooManyArguments: format_has_more_arguments_than_conversions(); return;
    case Problem::ArgumentMismatch: format_argument_type_does_not_fit_its_conversion(); return;
    case Problem::NeedsWidth: format_char_pointer_needs_a_field_width(); return;
    case Problem::FieldTooWide: format_field_width_does_not_fit_the_char_array(); return;
    }
}

} // namespace qx::visa::format
