// Entry of Trenqual and Trenqual_CUDA: the whole run lives in RunMain, which
// returns through one exit with the failing step's code.
#include "driver/run_main.h"

int main(int argc, char** argv) { return RunMain(argc, argv); }
