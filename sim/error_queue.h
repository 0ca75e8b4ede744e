// The SCPI error/event queue: oldest first, bounded; when it is full the newest entry is replaced
// by -350 "Queue overflow" and further errors are lost until it is read or cleared.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace qx::sim {

// The standard error numbers this instrument raises.
namespace scpi_error {
inline constexpr int None = 0;
inline constexpr int CommandError = -100;
inline constexpr int SyntaxError = -102;
inline constexpr int InvalidSeparator = -103;
inline constexpr int DataTypeError = -104;
inline constexpr int ParameterNotAllowed = -108;
inline constexpr int MissingParameter = -109;
inline constexpr int HeaderSeparatorError = -111;
inline constexpr int MnemonicTooLong = -112;
inline constexpr int UndefinedHeader = -113;
inline constexpr int HeaderSuffixOutOfRange = -114;
inline constexpr int InvalidSuffix = -131;
inline constexpr int SuffixNotAllowed = -138;
inline constexpr int InvalidCharacterData = -141;
inline constexpr int InvalidStringData = -151;
inline constexpr int ExecutionError = -200;
inline constexpr int SettingsConflict = -221;
inline constexpr int DataOutOfRange = -222;
inline constexpr int TooMuchData = -223;
inline constexpr int IllegalParameterValue = -224;
inline constexpr int DeviceSpecificError = -300;
inline constexpr int QueueOverflow = -350;
inline constexpr int InputBufferOverrun = -363;
inline constexpr int QueryError = -400;
inline constexpr int QueryInterrupted = -410;
} // namespace scpi_error

// Standard text of an error number; "Device-specific error" for numbers this table lacks.
std::string_view errorText(int code);

struct ErrorEntry {
    int code = 0;
    std::string text;
};

class ErrorQueue {
public:
    static constexpr std::size_t kCapacity = 16;

    void push(int code); // with the standard text
    void push(int code, std::string text);
    // Removes and returns the oldest entry; {0, "No error"} when empty.
    ErrorEntry pop();
    void clear() { entries_.clear(); }
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    const std::deque<ErrorEntry> &entries() const { return entries_; }

private:
    std::deque<ErrorEntry> entries_;
};

// `<number>,"<text>"` as SYST:ERR? answers it.
std::string formatError(const ErrorEntry &entry);

} // namespace qx::sim
