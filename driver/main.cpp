#include "driver/conversion_run.h"

int main(int argc, char* argv[]) { return RunConversion(argc, argv); }
