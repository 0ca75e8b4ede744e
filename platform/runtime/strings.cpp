#include "runtime/strings.h"

#include <algorithm>
#include <cctype>

namespace qx::runtime {
namespace {

unsigned char fold(char c, bool caseSensitive)
{
    auto u = static_cast<unsigned char>(c);
    return caseSensitive ? u : static_cast<unsigned char>(std::tolower(u));
}

std::string_view tail(std::string_view s, int start)
{
    if (start <= 0)
        return s;
    return static_cast<size_t>(start) >= s.size() ? std::string_view{} : s.substr(static_cast<size_t>(start));
}

} // namespace

int CompareStrings(std::string_view string1, int startIndex1, std::string_view string2, int startIndex2,
                   bool caseSensitive)
{
    std::string_view a = tail(string1, startIndex1);
    std::string_view b = tail(string2, startIndex2);
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int d = fold(a[i], caseSensitive) - fold(b[i], caseSensitive);
        if (d != 0)
            return d < 0 ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int FindPattern(std::string_view buffer, int startingIndex, int numberOfBytes, std::string_view pattern,
                bool caseSensitive, bool startFromRight)
{
    if (startingIndex < 0 || static_cast<size_t>(startingIndex) > buffer.size())
        return -1;
    std::string_view area = buffer.substr(static_cast<size_t>(startingIndex));
    if (numberOfBytes >= 0)
        area = area.substr(0, std::min(area.size(), static_cast<size_t>(numberOfBytes)));
    if (pattern.empty() || pattern.size() > area.size())
        return -1;
    auto matchesAt = [&](size_t pos) {
        for (size_t i = 0; i < pattern.size(); ++i)
            if (fold(area[pos + i], caseSensitive) != fold(pattern[i], caseSensitive))
                return false;
        return true;
    };
    size_t last = area.size() - pattern.size();
    if (startFromRight) {
        for (size_t pos = last + 1; pos-- > 0;)
            if (matchesAt(pos))
                return startingIndex + static_cast<int>(pos);
    } else {
        for (size_t pos = 0; pos <= last; ++pos)
            if (matchesAt(pos))
                return startingIndex + static_cast<int>(pos);
    }
    return -1;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return CompareStrings(a, 0, b, 0, false) == 0;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view trim(std::string_view text, std::string_view blanks)
{
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

} // namespace qx::runtime
