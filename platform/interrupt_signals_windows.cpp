#include "platform/interrupt_signals.h"

#include <csignal>

namespace platform {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void NoteInterrupt(int) { interruptRequested = 1; }

}  // namespace

void CatchInterruptSignals() {
    std::signal(SIGINT, NoteInterrupt);
    std::signal(SIGTERM, NoteInterrupt);
}

bool InterruptRequested() { return interruptRequested != 0; }

// Windows has no file size limit signal.
void FailWritesPastFileSizeLimit() {}

}  // namespace platform
