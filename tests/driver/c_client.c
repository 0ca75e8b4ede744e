/* A C client of the driver's shared library: a simulated session, and the error paths a C caller meets. */
#include "zev_qx70.h"

#include <stdio.h>
#include <string.h>

static int failures = 0;

#define CHECK(cond) ((cond) ? (void)0 : (void)(fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond), ++failures))

int main(void)
{
    ViSession vi = VI_NULL;
    ViReal64 limit = 0.0;
    ViChar text[256];
    ViStatus primary = 0, secondary = 0;
    CHECK(ZEV_QX70_InitWithOptions("GPIB::5::INSTR", VI_TRUE, VI_TRUE, "Simulate=1", &vi, 9600) == VI_SUCCESS);
    CHECK(vi != VI_NULL);
    CHECK(ZEV_QX70_GetAttributeViReal64(vi, "1", ZEV_QX70_ATTR_VOLTAGE_LIMIT, &limit) == VI_SUCCESS && limit == 300.0);
    CHECK(ZEV_QX70_error_message(vi, ZEV_QX70_ERROR_OVER_CURRENT, text) == VI_SUCCESS);
    CHECK(strcmp(text, "Over-current detected.") == 0);
    CHECK(ZEV_QX70_close(vi) == VI_SUCCESS);
    CHECK(ZEV_QX70_close(vi) == ZEV_QX70_ERROR_INVALID_SESSION_HANDLE);
    CHECK(ZEV_QX70_init("GPIB::5::INSTR", VI_TRUE, VI_FALSE, NULL, 9600) == ZEV_QX70_ERROR_INVALID_PARAMETER);
    CHECK(ZEV_QX70_GetErrorInfo(VI_NULL, &primary, &secondary, text) == VI_SUCCESS);
    CHECK(primary == ZEV_QX70_ERROR_INVALID_PARAMETER && strcmp(text, "Null address for Instrument Handle") == 0);
    return failures == 0 ? 0 : 1;
}
