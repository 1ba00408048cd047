#include "platform/interrupt_signals.h"

#include <csignal>
#include <initializer_list>

namespace platform {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void NoteInterrupt(int) { interruptRequested = 1; }

// Without SA_RESTART, so that a read waiting on a stalled input returns and
// the run sees the interruption instead of waiting on.
void CatchWithoutRestart(int signal) {
    struct sigaction action {};
    action.sa_handler = NoteInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

}  // namespace

void CatchInterruptSignals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) CatchWithoutRestart(signal);
}

bool InterruptRequested() { return interruptRequested != 0; }

void FailWritesPastFileSizeLimit() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform
