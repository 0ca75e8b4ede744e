// The printf and scanf engines of formatted_io.h, apart from sessions: formatting into bytes,
// and parsing from a ScanInput into temporaries that are committed only when all went well.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "visa/formatted_io.h"
#include "visa/visadef.h"

namespace qx::visa::detail {

// Input for viScanf: the session's read buffer, filled from the instrument on demand.
class ScanInput {
public:
    static constexpr int NoInput = -1; // the message has ended (or, without fetching, nothing is buffered)
    static constexpr int Failed = -2;  // the fetch failed: see failure()
    // The next byte (0..255) without taking it.
    virtual int peek(bool mayFetch) = 0;
    virtual void advance() = 0;
    virtual ViStatus failure() const = 0;

protected:
    ~ScanInput() = default;
};

struct ScanValue {
    format::ArgKind kind = format::ArgKind::Unusable;
    long long integer = 0;
    double real = 0.0;
    std::string chars;
    bool terminate = true; // %s and %[ store a NUL after the characters, %c does not
};

ViStatus formatStatus(format::Problem problem);

// Checks the format against the arguments and formats it. `messageEnds` gets the offset just past
// each line feed that the format itself writes.
ViStatus formatOutput(std::string_view format, const PrintArg *args, std::size_t count, std::string &out,
                      std::vector<std::size_t> &messageEnds);

// Checks the format against the destinations: VI_ERROR_INV_FMT, VI_ERROR_NSUP_FMT, or
// VI_ERROR_USER_BUF for a null destination.
ViStatus checkScan(std::string_view format, const ScanArg *args, std::size_t count);

// Parses the input by a checked format. VI_ERROR_INV_RESPONSE when the input does not match or
// ends before every conversion got its value; the input's failure() when a fetch failed.
ViStatus scanFormatted(std::string_view format, const ScanArg *args, std::size_t count, ScanInput &in,
                       std::vector<ScanValue> &values);

// Writes the parsed values to the destinations.
void commitScan(const ScanArg *args, std::size_t count, const std::vector<ScanValue> &values);

} // namespace qx::visa::detail
