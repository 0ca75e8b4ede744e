// The driver's attribute table: IDs, names, types, flags, defaults, range tables and the
// callbacks that turn an attribute access into SCPI traffic.
#pragma once

#include "ivi/ivi.h"

extern const IviRangeTable attrQueryFunctionRangeTable;

// Builds the table for a new session: the inherent engine attributes, then the driver's own.
ViStatus ZEV_QX70_InitAttributes(ViSession vi);
