#include "error_queue.h"

#include <array>
#include <utility>

namespace qx::sim {
namespace {

struct ErrorRecord {
    int code;
    std::string_view text;
};

constexpr std::array kErrorTexts{
    ErrorRecord{0, "No error"},
    ErrorRecord{-100, "Command error"},
    ErrorRecord{-101, "Invalid character"},
    ErrorRecord{-102, "Syntax error"},
    ErrorRecord{-103, "Invalid separator"},
    ErrorRecord{-104, "Data type error"},
    ErrorRecord{-108, "Parameter not allowed"},
    ErrorRecord{-109, "Missing parameter"},
    ErrorRecord{-110, "Command header error"},
    ErrorRecord{-111, "Header separator error"},
    ErrorRecord{-112, "Program mnemonic too long"},
    ErrorRecord{-113, "Undefined header"},
    ErrorRecord{-114, "Header suffix out of range"},
    ErrorRecord{-120, "Numeric data error"},
    ErrorRecord{-121, "Invalid character in number"},
    ErrorRecord{-123, "Exponent too large"},
    ErrorRecord{-124, "Too many digits"},
    ErrorRecord{-128, "Numeric data not allowed"},
    ErrorRecord{-131, "Invalid suffix"},
    ErrorRecord{-134, "Suffix too long"},
    ErrorRecord{-138, "Suffix not allowed"},
    ErrorRecord{-141, "Invalid character data"},
    ErrorRecord{-144, "Character data too long"},
    ErrorRecord{-148, "Character data not allowed"},
    ErrorRecord{-150, "String data error"},
    ErrorRecord{-151, "Invalid string data"},
    ErrorRecord{-158, "String data not allowed"},
    ErrorRecord{-200, "Execution error"},
    ErrorRecord{-221, "Settings conflict"},
    ErrorRecord{-222, "Data out of range"},
    ErrorRecord{-223, "Too much data"},
    ErrorRecord{-224, "Illegal parameter value"},
    ErrorRecord{-300, "Device-specific error"},
    ErrorRecord{-310, "System error"},
    ErrorRecord{-350, "Queue overflow"},
    ErrorRecord{-363, "Input buffer overrun"},
    ErrorRecord{-400, "Query error"},
    ErrorRecord{-410, "Query INTERRUPTED"},
    ErrorRecord{-420, "Query UNTERMINATED"},
    ErrorRecord{-430, "Query DEADLOCKED"},
};

} // namespace

std::string_view errorText(int code)
{
    for (const ErrorRecord &record : kErrorTexts)
        if (record.code == code)
            return record.text;
    return "Device-specific error";
}

void ErrorQueue::push(int code) { push(code, std::string(errorText(code))); }

void ErrorQueue::push(int code, std::string text)
{
    if (entries_.size() >= kCapacity) {
        entries_.back() = ErrorEntry{scpi_error::QueueOverflow, std::string(errorText(scpi_error::QueueOverflow))};
        return;
    }
    entries_.push_back(ErrorEntry{code, std::move(text)});
}

ErrorEntry ErrorQueue::pop()
{
    if (entries_.empty())
        return ErrorEntry{0, std::string(errorText(0))};
    ErrorEntry entry = std::move(entries_.front());
    entries_.pop_front();
    return entry;
}

std::string formatError(const ErrorEntry &entry)
{
    std::string out = std::to_string(entry.code);
    out += ",\"";
    for (char c : entry.text) {
        out += c;
        if (c == '"')
            out += '"'; // SCPI doubles a quote inside string data
    }
    out += '"';
    return out;
}

} // namespace qx::sim
