// Compiled by ctest, one case at a time: every CASE_* except CASE_ACCEPTED must be refused by the
// compiler, with the reason named after it (tests/visa/CMakeLists.txt reads the reasons from here).
// The checks themselves are static_asserts in formatted_io_test.cpp; these show that viPrintf and
// viScanf apply them, and name the problems those do not cover.
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
#elif defined(CASE_LONG_FOR_PERCENT_LD) // refused: format_argument_type_does_not_fit_its_conversion
    viPrintf(io, "OUTP %ld", hostLong);
#elif defined(CASE_POINTER_WITHOUT_WIDTH) // refused: format_char_pointer_needs_a_field_width
    viScanf(io, "%[^\n]", pointer);
#elif defined(CASE_MISSING_ARGUMENT) // refused: format_has_more_conversions_than_arguments
    viPrintf(io, "VOLT %lf");
#elif defined(CASE_RUNTIME_TEXT_WITHOUT_WRAPPER) // refused: not a constant expression
    viScanf(io, chosenAtRunTime, &value);
#endif
}
