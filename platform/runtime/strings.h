// Small string services of the panel run-time that the driver relies on.
#pragma once

#include <string_view>

namespace qx::runtime {

// Compares the tail of string1 from startIndex1 with the tail of string2 from startIndex2, as
// strcmp does: returns -1, 0 or 1. Start indices past the end give empty tails.
int CompareStrings(std::string_view string1, int startIndex1, std::string_view string2, int startIndex2,
                   bool caseSensitive);

// Index of the first (or, with startFromRight, the last) occurrence of pattern in
// buffer[startingIndex, startingIndex + numberOfBytes), or -1. numberOfBytes < 0 means "to the end".
int FindPattern(std::string_view buffer, int startingIndex, int numberOfBytes, std::string_view pattern,
                bool caseSensitive, bool startFromRight);

bool equalsNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view text, std::string_view prefix);

inline constexpr std::string_view kBlanks = " \t\r\n";

// text without the leading and trailing characters that occur in blanks.
std::string_view trim(std::string_view text, std::string_view blanks = kBlanks);

} // namespace qx::runtime
