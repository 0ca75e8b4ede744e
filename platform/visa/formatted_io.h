// Type-safe viPrintf / viScanf with VISA semantics, for C++ callers.
//
//   viPrintf(io, "VOLT %lf\n", 120.0);           // "VOLT 120.000000\n"
//   viScanf(io, "%ld,\"%256[^\"]", &code, text); // text: ViChar[257] (or ViChar* with the width)
//
// A string-literal format is checked against the argument types at compile time: a conversion
// whose argument does not fit, a missing or extra argument, or an unsupported conversion does not
// compile. A format chosen at run time is passed as qx::visa::RuntimeFormat{text} and checked
// before any I/O: VI_ERROR_INV_FMT for a bad format or argument, VI_ERROR_NSUP_FMT for an
// unsupported conversion. (A format picked by a condition, `serial ? "%lf\n" : "%lf"`, is such a
// run-time format: write two calls, or wrap it.)
//
// Buffers: viPrintf writes through the session's write buffer, which goes out when full, at each
// line feed of the format, and, with VI_ATTR_WR_BUF_OPER_MODE = VI_FLUSH_ON_ACCESS, at the end of
// every call, END with the last byte when VI_ATTR_SEND_END_EN is on. viScanf reads through the read
// buffer, filled from the instrument up to END or the termination character (or the buffer size)
// and again while the format needs more. With VI_ATTR_RD_BUF_OPER_MODE = VI_FLUSH_ON_ACCESS what a
// call leaves is dropped, and so is the unread rest of a message whose END has not come yet; with
// VI_FLUSH_DISABLE (the default) it stays for the next call.
//
// viPrintf arguments: %d %ld a value that fits 32 bits (ViInt32, int, ViInt16, ...), %hd one that
// fits 16 bits, %lld 64 bits, %f %lf %e %g a double or float, %s a const char*, char array,
// std::string or std::string_view, %c a char. Numbers print as C printf in the "C" locale.
// A line feed written by the format itself sends END with it (EOI on GPIB).
//
// viScanf destinations: %d %ld ViInt32*, %hd ViInt16*, %lld a 64-bit integer pointer, %lf ViReal64*,
// %f ViReal32*, %s %[...] %c a ViChar array (the width, if given, must leave room for the NUL) or a
// ViChar* when the format gives a width; '*' suppresses assignment and takes no argument.
// An answer that does not match, or that ends before every conversion got its value, gives
// VI_ERROR_INV_RESPONSE. On any error nothing is written to the destinations.
// Differences from C scanf: a %[...] that matches no character stores "" (unless the message has
// ended); integers accept only an optional sign and digits and must fit their size.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

#include "visa/format_check.h"
#include "visa/visatype.h"

namespace qx::visa {

// A format chosen at run time; checked when the call is made.
struct RuntimeFormat {
    const char *text;
};

template <class... Args>
class PrintfFormat {
public:
    consteval PrintfFormat(const char *text) : text_(text)
    {
        constexpr std::array<format::ArgInfo, sizeof...(Args)> args{format::printfArgInfo<Args>()...};
        format::refuseAtCompileTime(format::checkPrintf(text, args.data(), args.size()));
    }
    PrintfFormat(RuntimeFormat format) noexcept : text_(format.text) {}
    const char *text() const noexcept { return text_; }

private:
    const char *text_;
};

template <class... Args>
class ScanfFormat {
public:
    consteval ScanfFormat(const char *text) : text_(text)
    {
        constexpr std::array<format::ArgInfo, sizeof...(Args)> args{format::scanfArgInfo<Args>()...};
        format::refuseAtCompileTime(format::checkScanf(text, args.data(), args.size()));
    }
    ScanfFormat(RuntimeFormat format) noexcept : text_(format.text) {}
    const char *text() const noexcept { return text_; }

private:
    const char *text_;
};

namespace detail {

struct PrintArg {
    format::ArgInfo info;
    long long integer = 0;
    double real = 0.0;
    const char *text = nullptr;
    std::size_t length = 0; // of text; for char arrays bounded by the array
};

struct ScanArg {
    format::ArgInfo info;
    void *target = nullptr;
};

template <class T>
PrintArg printArg(const T &value) noexcept
{
    constexpr format::ArgInfo info = format::printfArgInfo<T>();
    PrintArg arg;
    arg.info = info;
    if constexpr (info.kind == format::ArgKind::Int16 || info.kind == format::ArgKind::Int32 ||
                  info.kind == format::ArgKind::Int64) {
        arg.integer = static_cast<long long>(value);
    } else if constexpr (info.kind == format::ArgKind::Real) {
        arg.real = static_cast<double>(value);
    } else if constexpr (info.kind == format::ArgKind::Text && std::is_array_v<T>) {
        // Never read past the array, terminated or not.
        arg.text = reinterpret_cast<const char *>(value);
        std::size_t n = 0;
        while (n < std::extent_v<T> && value[n] != 0)
            ++n;
        arg.length = n;
    } else if constexpr (info.kind == format::ArgKind::Text && std::is_pointer_v<T>) {
        arg.text = reinterpret_cast<const char *>(value);
        arg.length = value ? std::char_traits<char>::length(arg.text) : 0;
    } else if constexpr (info.kind == format::ArgKind::Text) {
        arg.text = value.data();
        arg.length = value.size();
    }
    return arg;
}

template <class T>
ScanArg scanArg(T &&target) noexcept
{
    using U = std::remove_reference_t<T>;
    ScanArg arg;
    arg.info = format::scanfArgInfo<T>();
    if constexpr (std::is_array_v<U>)
        arg.target = const_cast<void *>(static_cast<const volatile void *>(target));
    else if constexpr (std::is_pointer_v<std::remove_cv_t<U>>)
        arg.target = const_cast<void *>(static_cast<const volatile void *>(target));
    return arg;
}

ViStatus printfArgs(ViSession vi, const char *format, const PrintArg *args, std::size_t count) noexcept;
ViStatus scanfArgs(ViSession vi, const char *format, const ScanArg *args, std::size_t count) noexcept;

} // namespace detail
} // namespace qx::visa

template <class... Args>
ViStatus viPrintf(ViSession vi, qx::visa::PrintfFormat<std::type_identity_t<Args>...> format,
                  const Args &...args) noexcept
{
    const qx::visa::detail::PrintArg packed[] = {qx::visa::detail::printArg(args)..., {}};
    return qx::visa::detail::printfArgs(vi, format.text(), packed, sizeof...(Args));
}

template <class... Args>
ViStatus viScanf(ViSession vi, qx::visa::ScanfFormat<std::type_identity_t<Args>...> format, Args &&...args) noexcept
{
    const qx::visa::detail::ScanArg packed[] = {qx::visa::detail::scanArg(static_cast<Args &&>(args))..., {}};
    return qx::visa::detail::scanfArgs(vi, format.text(), packed, sizeof...(Args));
}
