#include "option_string.h"

#include "runtime/strings.h"

namespace qx::ivi {
namespace {

using runtime::trim;

struct BooleanOption {
    std::string_view name;
    bool DriverOptions::*member;
};

constexpr BooleanOption booleanOptions[] = {
    {"RangeCheck", &DriverOptions::rangeCheck},
    {"QueryInstrStatus", &DriverOptions::queryInstrStatus},
    {"Cache", &DriverOptions::cache},
    {"Simulate", &DriverOptions::simulate},
    {"RecordCoercions", &DriverOptions::recordCoercions},
    {"InterchangeCheck", &DriverOptions::interchangeCheck},
};

constexpr std::string_view driverSetupName = "DriverSetup";

struct BooleanWord {
    std::string_view word;
    bool value;
};

constexpr BooleanWord booleanWords[] = {
    {"1", true}, {"True", true}, {"VI_TRUE", true}, {"0", false}, {"False", false}, {"VI_FALSE", false},
};

const BooleanOption *findOption(std::string_view name)
{
    for (const BooleanOption &option : booleanOptions)
        if (runtime::equalsNoCase(option.name, name))
            return &option;
    return nullptr;
}

const BooleanWord *findWord(std::string_view value)
{
    for (const BooleanWord &word : booleanWords)
        if (runtime::equalsNoCase(word.word, value))
            return &word;
    return nullptr;
}

std::string quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

} // namespace

ViStatus parseOptionString(std::string_view text, DriverOptions &options, std::string &elaboration)
{
    options = DriverOptions{};
    if (trim(text).empty())
        return VI_SUCCESS;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string_view assignment = text.substr(start, comma - start);
        const size_t equals = assignment.find('=');
        const std::string_view name = trim(assignment.substr(0, equals));
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : trim(assignment.substr(equals + 1));
        if (name.empty()) {
            elaboration = "Missing option name at position " + std::to_string(start + 1) + " of " + quoted(text);
            return IVI_ERROR_MISSING_OPTION_NAME;
        }
        if (runtime::equalsNoCase(name, driverSetupName)) {
            if (equals == std::string_view::npos) {
                elaboration = "Missing value for option " + quoted(name);
                return IVI_ERROR_MISSING_OPTION_VALUE;
            }
            options.driverSetup = trim(text.substr(start + equals + 1));
            return VI_SUCCESS;
        }
        const BooleanOption *option = findOption(name);
        if (option == nullptr) {
            elaboration = "Unknown option name " + quoted(name);
            return IVI_ERROR_BAD_OPTION_NAME;
        }
        if (value.empty()) {
            elaboration = "Missing value for option " + quoted(name);
            return IVI_ERROR_MISSING_OPTION_VALUE;
        }
        const BooleanWord *word = findWord(value);
        if (word == nullptr) {
            elaboration = "Bad value " + quoted(value) + " for option " + quoted(name);
            return IVI_ERROR_BAD_OPTION_VALUE;
        }
        options.*(option->member) = word->value;
        if (comma == std::string_view::npos)
            return VI_SUCCESS;
        start = comma + 1;
    }
}

} // namespace qx::ivi
