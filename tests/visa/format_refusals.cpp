// Compiled by ctest, one case at a time: every CASE_* except CASE_ACCEPTED must be refused by the
// compiler, with the reason the test names.
#include "visa/visa.h"

void calls(ViSession io, const char *chosenAtRunTime)
{
    ViInt32 code = 0;
    ViReal64 value = 0;
    ViChar text[257] = {};
    ViChar *pointer = text;
    long hostLong = 0;
    (void)code, (void)value, (void)pointer, (void)hostLong, (void)chosenAtRunTime;
#if defined(CASE_ACCEPTED)
    viPrintf(io, "VOLT %lf\n", value);
    viPrintf(io, "OUTP %ld", code);
    viScanf(io, "%ld,\"%256[^\"]", &code, pointer);
    viScanf(io, "%*[^,],%*[^,],%*[^,],%256[^\n]\n", text);
    viScanf(io, qx::visa::RuntimeFormat{chosenAtRunTime}, &value);
#elif defined(CASE_LONG_FOR_PERCENT_LD)
    viPrintf(io, "OUTP %ld", hostLong);
#elif defined(CASE_DOUBLE_POINTER_FOR_PERCENT_F)
    viScanf(io, "%f", &value);
#elif defined(CASE_WIDTH_TOO_WIDE_FOR_ARRAY)
    ViChar small[256];
    viScanf(io, "%256[^\n]", small);
#elif defined(CASE_POINTER_WITHOUT_WIDTH)
    viScanf(io, "%[^\n]", pointer);
#elif defined(CASE_MISSING_ARGUMENT)
    viPrintf(io, "VOLT %lf");
#elif defined(CASE_UNSUPPORTED_CONVERSION)
    viScanf(io, "%b", &code);
#elif defined(CASE_RUNTIME_TEXT_WITHOUT_WRAPPER)
    viScanf(io, chosenAtRunTime, &value);
#endif
}
