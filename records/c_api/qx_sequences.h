/* Test sequences with their test records, for programs that drive a QX Series source through the
 * ZEV_QX70 driver (the Python module qx70 among them): a sequence file run on an open driver
 * session, its record filed in the local records file or the lab's server. Plain C; every
 * function returns a ViStatus and never throws. */
#ifndef QX_SEQUENCES_H
#define QX_SEQUENCES_H

#include "zev_qx70.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The run's outcome as one JSON object, written into `result` (at most `resultSize` bytes with the
 * terminating NUL): {"ending", "verdict", "runs", "passed", "failed", "message", "record", "uuid",
 * "store", "filed", "store_message"}.
 * `sequence`: a JSON file, or the name of a shipped sequence; `resource`: what `vi` was opened by;
 * `operatorName`, `eut` ("NAME[,SERIAL]") and `store` ("" for the local records file, an SQLite
 * file, or a PostgreSQL URI) may be VI_NULL.
 * VI_SUCCESS: the run completed and every step passed, and its record was kept. 1 (a warning): it
 * ran and its record was kept, but a step failed or it was aborted or ended by an error (the
 * output then switched off). ZEV_QX70_ERROR_INVALID_VALUE: a null or closed session, a sequence
 * that cannot be read, one the instrument cannot do, a required record field missing, a record
 * store that cannot be opened, or a result buffer too small: nothing was sent then, and `result`
 * (when there is room) holds {"error": "..."}. */
ZEV_QX70_API ViStatus QX_RunSequence(ViSession vi, ViConstString sequence, ViConstString resource,
                                     ViConstString operatorName, ViConstString eut, ViConstString store,
                                     ViInt32 resultSize, ViChar result[]);

/* Stops the sequence running on `vi` (from another thread) at its next step run or within a wait;
 * `by` says who, for the record (VI_NULL: "caller"). VI_SUCCESS also when none runs. */
ZEV_QX70_API ViStatus QX_AbortSequence(ViSession vi, ViConstString by);

#ifdef __cplusplus
}
#endif

#endif
