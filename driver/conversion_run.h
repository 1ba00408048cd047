// The one run of the converter, from command line to exit status.
#pragma once

// Converts the image named by argv[1] into the grid named by argv[2]; any
// other argument count prints the usage. Returns the exit status.
int RunConversion(int argc, const char* const argv[]);
