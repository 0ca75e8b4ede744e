#include "program.h"

int main(int argc, char **argv) { return qx::app::qxseriesMain(argc, argv); }
