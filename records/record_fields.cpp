#include "record_fields.h"

#include <sodium.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qx::records {
namespace {

using R = TestRecord;
constexpr Field<R> kRunFields[] = {
    {"uuid", +[](R &r) -> std::string & { return r.uuid; }},
    {"model", +[](R &r) -> std::string & { return r.instrument.model; }},
    {"instrument_serial", +[](R &r) -> std::string & { return r.instrument.serial; }},
    {"firmware", +[](R &r) -> std::string & { return r.instrument.firmware; }},
    {"resource", +[](R &r) -> std::string & { return r.instrument.resource; }},
    {"software", +[](R &r) -> std::string & { return r.software; }},
    {"software_version", +[](R &r) -> std::string & { return r.softwareVersion; }},
    {"host", +[](R &r) -> std::string & { return r.host; }},
    {"operator", +[](R &r) -> std::string & { return r.operatorName; }},
    {"eut_name", +[](R &r) -> std::string & { return r.eut.name; }},
    {"eut_serial", +[](R &r) -> std::string & { return r.eut.serial; }},
    {"sequence_name", +[](R &r) -> std::string & { return r.sequenceName; }},
    {"sequence_file", +[](R &r) -> std::string & { return r.sequenceFile; }},
    {"sequence_sha256", +[](R &r) -> std::string & { return r.sequenceSha256; }},
    {"started", +[](R &r) -> std::string & { return r.started; }},
    {"ended", +[](R &r) -> std::string & { return r.ended; }},
    {"verdict", +[](R &r) -> std::string & { return r.verdict; }},
    {"ending", +[](R &r) -> std::string & { return r.ending; }},
    {"ended_by", +[](R &r) -> std::string & { return r.endedBy; }},
    {"failed_step", +[](R &r) -> int & { return r.failedStep; }},
    {"message", +[](R &r) -> std::string & { return r.message; }},
    {"runs", +[](R &r) -> int & { return r.runs; }},
    {"passed", +[](R &r) -> int & { return r.passed; }},
    {"failed", +[](R &r) -> int & { return r.failed; }},
};

using S = StepRun;
constexpr Field<S> kStepFields[] = {
    {"step", +[](S &s) -> int & { return s.step; }},
    {"run", +[](S &s) -> int & { return s.run; }},
    {"kind", +[](S &s) -> std::string & { return s.kind; }},
    {"action", +[](S &s) -> std::string & { return s.action; }},
    {"sent", +[](S &s) -> std::string & { return s.sent; }},
    {"started", +[](S &s) -> std::string & { return s.started; }},
    {"ended", +[](S &s) -> std::string & { return s.ended; }},
    {"elapsed", +[](S &s) -> double & { return s.elapsed; }},
    {"verdict", +[](S &s) -> std::string & { return s.verdict; }},
    {"detail", +[](S &s) -> std::string & { return s.detail; }},
    {"drop_angle", +[](S &s) -> std::optional<double> & { return s.dropAngle; }},
    {"drop_time", +[](S &s) -> std::optional<double> & { return s.dropTime; }},
};

constexpr Field<Reading> kReadingFields[] = {
    {"kind", +[](Reading &r) -> std::string & { return r.kind; }},
    {"phase", +[](Reading &r) -> int & { return r.phase; }},
    {"value", +[](Reading &r) -> double & { return r.value; }},
    {"unit", +[](Reading &r) -> std::string & { return r.unit; }},
};

constexpr Field<Limit> kLimitFields[] = {
    {"kind", +[](Limit &l) -> std::string & { return l.kind; }},
    {"low", +[](Limit &l) -> double & { return l.low; }},
    {"high", +[](Limit &l) -> double & { return l.high; }},
    {"unit", +[](Limit &l) -> std::string & { return l.unit; }},
};

bool toInt(const Value &cell, int &out)
{
    if (const auto *n = std::get_if<std::int64_t>(&cell)) {
        out = static_cast<int>(*n);
        return true;
    }
    const auto *text = std::get_if<std::string>(&cell);
    if (text == nullptr)
        return false;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), out);
    return ec == std::errc() && end == text->data() + text->size();
}

// A NULL real is a reading that was not a number (SQLite keeps NaN as NULL).
bool toDouble(const Value &cell, double &out)
{
    if (std::holds_alternative<std::monostate>(cell))
        out = std::nan("");
    else if (const auto *d = std::get_if<double>(&cell))
        out = *d;
    else if (const auto *n = std::get_if<std::int64_t>(&cell))
        out = static_cast<double>(*n);
    else {
        const std::string &text = std::get<std::string>(cell);
        char *end = nullptr;
        out = std::strtod(text.c_str(), &end);
        return !text.empty() && *end == '\0';
    }
    return true;
}

template <class Row>
struct Assign {
    const Value &cell;
    Row &row;
    bool operator()(std::string &(*member)(Row &)) const
    {
        const auto *text = std::get_if<std::string>(&cell);
        member(row) = text != nullptr ? *text : std::string();
        return text != nullptr || std::holds_alternative<std::monostate>(cell);
    }
    bool operator()(int &(*member)(Row &)) const { return toInt(cell, member(row)); }
    bool operator()(double &(*member)(Row &)) const { return toDouble(cell, member(row)); }
    bool operator()(std::optional<double> &(*member)(Row &)) const
    {
        std::optional<double> &field = member(row);
        if (std::holds_alternative<std::monostate>(cell)) {
            field.reset();
            return true;
        }
        double value = 0.0;
        if (!toDouble(cell, value))
            return false;
        field = value;
        return true;
    }
};

} // namespace

std::span<const Field<TestRecord>> runFields() { return kRunFields; }
std::span<const Field<StepRun>> stepFields() { return kStepFields; }
std::span<const Field<Reading>> readingFields() { return kReadingFields; }
std::span<const Field<Limit>> limitFields() { return kLimitFields; }

template <class Row>
std::vector<Value> cellsOf(const Row &row, std::span<const Field<Row>> fields)
{
    // The members are only read; the table's accessors serve reading and writing alike.
    Row &readOnly = const_cast<Row &>(row);
    std::vector<Value> cells;
    for (const Field<Row> &field : fields)
        cells.push_back(std::visit(
            [&](auto member) -> Value {
                const auto &value = member(readOnly);
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::string>)
                    return value;
                else if constexpr (std::is_same_v<T, int>)
                    return std::int64_t{value};
                else if constexpr (std::is_same_v<T, double>)
                    return std::isnan(value) ? Value{} : Value{value};
                else
                    return value ? Value{*value} : Value{};
            },
            field.member));
    return cells;
}

template <class Row>
bool assignCells(Row &row, std::span<const Field<Row>> fields, const std::vector<Value> &cells)
{
    if (cells.size() != fields.size())
        return false;
    bool fits = true;
    for (std::size_t i = 0; i < fields.size(); ++i)
        fits = std::visit(Assign<Row>{cells[i], row}, fields[i].member) && fits;
    return fits;
}

template <class Row>
std::string columnList(std::span<const Field<Row>> fields)
{
    std::string list;
    for (const Field<Row> &field : fields)
        list += (list.empty() ? "" : ", ") + std::string(field.column);
    return list;
}

#define QX_ROW_KIND(Row)                                                                                               \
    template std::vector<Value> cellsOf<Row>(const Row &, std::span<const Field<Row>>);                               \
    template bool assignCells<Row>(Row &, std::span<const Field<Row>>, const std::vector<Value> &);                   \
    template std::string columnList<Row>(std::span<const Field<Row>>);
QX_ROW_KIND(TestRecord)
QX_ROW_KIND(StepRun)
QX_ROW_KIND(Reading)
QX_ROW_KIND(Limit)
#undef QX_ROW_KIND

std::string newRecordUuid()
{
    if (sodium_init() < 0)
        return {};
    std::array<unsigned char, 16> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // the RFC 4122 variant
    std::string text;
    char hex[3];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        text += hex;
    }
    return text;
}

RecordSummary summaryOf(const TestRecord &record)
{
    const Eut &e = record.eut;
    const std::string eut = e.serial.empty() ? e.name : e.name + " (" + e.serial + ")";
    return {record.id,
            record.uuid,
            record.started,
            record.sequenceName,
            record.instrument.model,
            record.instrument.serial,
            record.operatorName,
            eut,
            record.verdict};
}

RecordSummary summaryFrom(std::int64_t id, const std::vector<Value> &cells)
{
    const auto text = [&](std::size_t i) {
        const auto *value = i < cells.size() ? std::get_if<std::string>(&cells[i]) : nullptr;
        return value != nullptr ? *value : std::string();
    };
    TestRecord record;
    record.id = id;
    record.uuid = text(0);
    record.started = text(1);
    record.sequenceName = text(2);
    record.instrument.model = text(3);
    record.instrument.serial = text(4);
    record.operatorName = text(5);
    record.eut = {text(6), text(7)};
    record.verdict = text(8);
    return summaryOf(record);
}

std::optional<std::optional<std::int64_t>> parseWhich(const std::string &which, std::string &error)
{
    if (which == "last")
        return std::optional<std::int64_t>();
    std::int64_t id = 0;
    const auto [end, ec] = std::from_chars(which.data(), which.data() + which.size(), id);
    if (ec == std::errc() && end == which.data() + which.size() && id > 0)
        return std::optional<std::int64_t>(id);
    error = "\"" + which + "\" is not a record: give its id, or last";
    return std::nullopt;
}

} // namespace qx::records
