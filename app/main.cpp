// veltrane: synthetic photometry of stellar-population synthesis fits.
#include "driver/run.h"

int main(int argc, char** argv) { return veltrane::run_main(argc, argv); }
