// The names that sequence files and qxctl give to what the source sets and measures.
#pragma once

#include "zev_qx70.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace qx::sequence {

enum class Quantity { Voltage, Frequency, Current, Range };

struct SettableQuantity {
    Quantity quantity;
    const char *name; // "voltage", ...
    const char *unit; // of the value read back; the range reads back as its highest voltage
    ViStatus (*set)(ViSession, ViConstString, ViReal64); // the range takes ZEV_QX70_VAL_RANGE_*
    ViInt32 query;                                       // ZEV_QX70_VAL_QUERY_*
};

// In the order of Quantity.
inline constexpr std::array<SettableQuantity, 4> kSettableQuantities{{
    {Quantity::Voltage, "voltage", "V", ZEV_QX70_GenerateACVoltage, ZEV_QX70_VAL_QUERY_VOLTAGE},
    {Quantity::Frequency, "frequency", "Hz", ZEV_QX70_GenerateACFrequency, ZEV_QX70_VAL_QUERY_FREQUENCY},
    {Quantity::Current, "current", "A", ZEV_QX70_GenerateACCurrent, ZEV_QX70_VAL_QUERY_CURRENT_LIMIT},
    {Quantity::Range, "range", "V", ZEV_QX70_GenerateACVoltageRange, ZEV_QX70_VAL_QUERY_VOLTAGE_RANGE},
}};

constexpr const SettableQuantity &settable(Quantity quantity)
{
    return kSettableQuantities[static_cast<std::size_t>(quantity)];
}

static_assert([] {
    for (std::size_t i = 0; i < kSettableQuantities.size(); ++i)
        if (static_cast<std::size_t>(kSettableQuantities[i].quantity) != i)
            return false;
    return true;
}());

inline const SettableQuantity *findSettable(std::string_view name)
{
    for (const SettableQuantity &q : kSettableQuantities)
        if (name == q.name)
            return &q;
    return nullptr;
}

struct MeasurementKind {
    const char *name; // "voltage", "peak-current", ...
    ViInt32 type;     // ZEV_QX70_VAL_MEASURE_*
    const char *unit;
};

inline constexpr std::array<MeasurementKind, 8> kMeasurementKinds{{
    {"voltage", ZEV_QX70_VAL_MEASURE_VOLTAGE, "V"},
    {"current", ZEV_QX70_VAL_MEASURE_CURRENT, "A"},
    {"frequency", ZEV_QX70_VAL_MEASURE_FREQUENCY, "Hz"},
    {"peak-current", ZEV_QX70_VAL_MEASURE_PEAK_CURRENT, "A"},
    {"crest-factor", ZEV_QX70_VAL_MEASURE_CREST_FACTOR, ""},
    {"apparent-power", ZEV_QX70_VAL_MEASURE_APPARENT_POWER, "VA"},
    {"power-factor", ZEV_QX70_VAL_MEASURE_POWER_FACTOR, ""},
    {"power", ZEV_QX70_VAL_MEASURE_REAL_POWER, "W"},
}};

inline const MeasurementKind *findMeasurement(std::string_view name)
{
    for (const MeasurementKind &kind : kMeasurementKinds)
        if (name == kind.name)
            return &kind;
    return nullptr;
}

// The start angles of a drop, degrees.
inline constexpr std::array<double, 4> kDropAngles{0.0, 90.0, 180.0, 270.0};

// "low" / "high", or the driver's selectors 1 and 2.
inline std::optional<double> rangeSelector(std::string_view text)
{
    if (text == "low" || text == "1")
        return ZEV_QX70_VAL_RANGE_LOW;
    if (text == "high" || text == "2")
        return ZEV_QX70_VAL_RANGE_HIGH;
    return std::nullopt;
}

inline const char *rangeName(double selector) { return selector == ZEV_QX70_VAL_RANGE_LOW ? "low" : "high"; }

} // namespace qx::sequence
