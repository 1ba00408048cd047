#include "driver/conversion_run.h"
#include "platform/interrupt_signals.h"

int main(int argc, char* argv[]) {
    platform::FailWritesPastFileSizeLimit();
    return RunConversion(argc, argv);
}
