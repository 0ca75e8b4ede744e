#include "report.h"

#include <charconv>
#include <ostream>

namespace qx::ctl {
namespace {

// Texts from the instrument need not be UTF-8: invalid bytes print as U+FFFD.
std::string dump(const Values &value) { return value.dump(-1, ' ', false, Values::error_handler_t::replace); }

// The shortest text that reads back as the same number: 300, 9.2, 0.001.
std::string number(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

void printPlain(std::ostream &out, const Values &value)
{
    if (value.is_number_float()) {
        out << number(value.get<double>()) << '\n';
    } else if (value.is_string()) {
        out << value.get<std::string>() << '\n';
    } else if (value.is_array()) {
        for (const Values &entry : value)
            out << dump(entry["code"]) << ',' << dump(entry["message"]) << '\n';
    } else {
        out << dump(value) << '\n';
    }
}

} // namespace

void printOutcome(std::ostream &out, const std::string &command, const Outcome &outcome, bool json)
{
    if (!json) {
        for (const auto &item : outcome.values.items())
            printPlain(out, item.value());
        return;
    }
    Values object = {{"command", command}, {"ok", true}};
    object.update(outcome.context);
    object.update(outcome.values);
    out << dump(object) << '\n';
}

void printFailure(std::ostream &out, const std::string &command, ViStatus status, const std::string &text)
{
    Values error = {{"code", status}, {"message", text}};
    if (status == VI_SUCCESS)
        error.erase("code");
    out << dump(Values{{"command", command}, {"ok", false}, {"error", error}}) << '\n';
}

} // namespace qx::ctl
