#include "record.h"

namespace qx::records {
namespace {

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::vector<std::string> missingRecordFields(const std::string &operatorName, const Eut &eut)
{
    std::vector<std::string> missing;
    if (trimmed(operatorName).empty())
        missing.emplace_back("operator");
    if (trimmed(eut.name).empty())
        missing.emplace_back("EUT");
    return missing;
}

Eut parseEut(const std::string &text)
{
    const auto comma = text.find(',');
    if (comma == std::string::npos)
        return {trimmed(text), {}};
    return {trimmed(text.substr(0, comma)), trimmed(text.substr(comma + 1))};
}

} // namespace qx::records
