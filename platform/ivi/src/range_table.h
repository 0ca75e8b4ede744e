// Range tables and the comparison of ViReal64 values.
#pragma once

#include "ivi/ivi.h"

namespace qx::ivi {

// Equal within the precision: 0 = relative 1e-14, N > 0 = N significant digits.
bool realEqual(ViReal64 a, ViReal64 b, ViInt32 comparePrecision);

// Index of the entry that holds the value (discrete: equal; ranged and coerced: min <= value <= max,
// bounds included), or -1.
int findRangeEntry(const IviRangeTable &table, ViReal64 value, ViInt32 comparePrecision);

} // namespace qx::ivi
