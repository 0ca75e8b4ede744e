/* Opens the instrument named on the command line and prints its model and voltage limit; on a
   failure prints the driver's message and exits 1. */
#include <stdio.h>
#include <zev_qx70.h>

static int fail(ViSession vi, ViStatus status)
{
    ViChar message[256];
    ZEV_QX70_error_message(vi, status, message);
    fprintf(stderr, "consumer: %s\n", message);
    if (vi != VI_NULL)
        ZEV_QX70_close(vi);
    return 1;
}

int main(int argc, char **argv)
{
    ViSession vi = VI_NULL;
    ViChar model[512];
    ViReal64 low, high, current, voltage;
    ViInt32 number;
    ViStatus status;
    if (argc != 2) {
        fprintf(stderr, "usage: consumer RESOURCE\n");
        return 2;
    }
    status = ZEV_QX70_init(argv[1], VI_TRUE, VI_FALSE, &vi, 9600);
    if (status < 0)
        return fail(VI_NULL, status);
    status = ZEV_QX70_Model_Number(vi, model);
    if (status >= 0)
        status = ZEV_QX70_ConfigureLimits(vi, "1", &low, &high, &current, &voltage, &number);
    if (status < 0)
        return fail(vi, status);
    printf("%s %g\n", model, voltage);
    return ZEV_QX70_close(vi) < 0;
}
