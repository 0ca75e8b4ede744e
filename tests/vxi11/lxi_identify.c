/* An independent VXI-11 client: liblxi (over the system's own RPC library) asks a device for its
   identification and prints the answer.
     lxi_identify HOST DEVICE   e.g. lxi_identify 127.0.0.1 gpib0,5
   Exit status 0 with the answer on stdout, 1 with the failing step on stderr. */
#include <lxi.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    char answer[256];
    int device;
    int count;

    if (argc != 3) {
        fprintf(stderr, "usage: lxi_identify HOST DEVICE\n");
        return 2;
    }
    if (lxi_init() != LXI_OK) {
        fprintf(stderr, "lxi_init failed\n");
        return 1;
    }
    device = lxi_connect(argv[1], 0, argv[2], 3000, VXI11);
    if (device == LXI_ERROR) {
        fprintf(stderr, "lxi_connect failed\n");
        return 1;
    }
    if (lxi_send(device, "*IDN?", 5, 3000) != 5) {
        fprintf(stderr, "lxi_send failed\n");
        lxi_disconnect(device);
        return 1;
    }
    count = lxi_receive(device, answer, (int)sizeof answer - 1, 3000);
    lxi_disconnect(device);
    if (count < 0) {
        fprintf(stderr, "lxi_receive failed\n");
        return 1;
    }
    answer[count] = '\0';
    fputs(answer, stdout);
    return 0;
}
