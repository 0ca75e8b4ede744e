// A record's fields as the stores' columns: one table per row kind (run, step run, reading,
// limit), each entry a column name and the field it holds, so the SQLite and PostgreSQL stores
// write and read the same columns in the same order, and a field added to the record is added in
// one place (and a migration).
#pragma once

#include "record.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace qx::records {

// A cell as a store hands it over: NULL, an integer, a real, or text (PostgreSQL gives text).
using Value = std::variant<std::monostate, std::int64_t, double, std::string>;

template <class Row>
struct Field {
    const char *column;
    std::variant<std::string &(*)(Row &), int &(*)(Row &), double &(*)(Row &), std::optional<double> &(*)(Row &)>
        member;
};

std::span<const Field<TestRecord>> runFields();
std::span<const Field<StepRun>> stepFields();
std::span<const Field<Reading>> readingFields();
std::span<const Field<Limit>> limitFields();

// The row's cells in the order of `fields`.
template <class Row>
std::vector<Value> cellsOf(const Row &row, std::span<const Field<Row>> fields);

// Sets each field from its cell (text is parsed as the field's type); false when a cell does not
// fit its field.
template <class Row>
bool assignCells(Row &row, std::span<const Field<Row>> fields, const std::vector<Value> &cells);

// "c1, c2, ..." of `fields`.
template <class Row>
std::string columnList(std::span<const Field<Row>> fields);

// A new random (version 4) UUID, lower-case.
std::string newRecordUuid();

// The short form of a record, as `records list` gives it.
RecordSummary summaryOf(const TestRecord &record);

// The columns of runs a summary is made of, after the id; and the summary of a row of them.
inline constexpr const char *kSummaryColumns =
    "uuid, started, sequence_name, model, instrument_serial, operator, eut_name, eut_serial, verdict";
inline constexpr std::size_t kSummaryColumnCount = 9;
RecordSummary summaryFrom(std::int64_t id, const std::vector<Value> &cells);

// Which record `which` names: the last one (none), or an id; `error` set when it names none.
std::optional<std::optional<std::int64_t>> parseWhich(const std::string &which, std::string &error);

} // namespace qx::records
