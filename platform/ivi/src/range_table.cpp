#include "range_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qx::ivi {
namespace {

constexpr ViReal64 defaultRelativeTolerance = 1e-14;

bool isEnd(const IviRangeTableEntry &entry)
{
    return entry.cmdString == IVI_RANGE_TABLE_END_STRING;
}

ViInt32 toInt32(ViReal64 value)
{
    constexpr auto lowest = static_cast<ViReal64>(std::numeric_limits<ViInt32>::min());
    constexpr auto highest = static_cast<ViReal64>(std::numeric_limits<ViInt32>::max());
    if (std::isnan(value))
        return 0;
    return static_cast<ViInt32>(std::clamp(value, lowest, highest));
}

template <class T>
void put(T *out, T value)
{
    if (out)
        *out = value;
}

} // namespace

bool realEqual(ViReal64 a, ViReal64 b, ViInt32 comparePrecision)
{
    if (a == b)
        return true;
    if (!std::isfinite(a) || !std::isfinite(b))
        return false;
    // Half a unit in the last of N significant digits, relative to the larger magnitude.
    const ViReal64 tolerance =
        comparePrecision > 0 ? 0.5 * std::pow(10.0, 1 - comparePrecision) : defaultRelativeTolerance;
    return std::fabs(a - b) <= tolerance * std::max(std::fabs(a), std::fabs(b));
}

int findRangeEntry(const IviRangeTable &table, ViReal64 value, ViInt32 comparePrecision)
{
    if (table.rangeValues == nullptr)
        return -1;
    for (int i = 0; !isEnd(table.rangeValues[i]); ++i) {
        const IviRangeTableEntry &entry = table.rangeValues[i];
        const bool holds = table.type == IVI_VAL_DISCRETE
                               ? realEqual(value, entry.discreteOrMinValue, comparePrecision)
                               : value >= entry.discreteOrMinValue && value <= entry.maxValue;
        if (holds)
            return i;
    }
    return -1;
}

} // namespace qx::ivi

using namespace qx::ivi;

ViStatus Ivi_GetViInt32EntryFromValue(ViInt32 value, IviRangeTablePtr table, ViInt32 *discreteOrMinValue,
                                      ViInt32 *maxValue, ViInt32 *coercedValue, ViInt32 *tableIndex,
                                      ViConstString *commandString, ViInt32 *commandValue)
{
    if (table == nullptr)
        return IVI_ERROR_NULL_POINTER;
    const int index = findRangeEntry(*table, value, 0);
    if (index < 0)
        return IVI_ERROR_INVALID_VALUE;
    const IviRangeTableEntry &entry = table->rangeValues[index];
    put(discreteOrMinValue, toInt32(entry.discreteOrMinValue));
    put(maxValue, toInt32(entry.maxValue));
    put(coercedValue, toInt32(entry.coercedValue));
    put(tableIndex, static_cast<ViInt32>(index));
    put(commandString, entry.cmdString);
    put(commandValue, entry.cmdValue);
    return VI_SUCCESS;
}
