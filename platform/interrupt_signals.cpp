#include "platform/interrupt_signals.h"

#include <csignal>
#include <initializer_list>

namespace platform {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void NoteInterrupt(int) { interruptRequested = 1; }

#ifndef _WIN32
// Without SA_RESTART, so that a read waiting on a stalled input returns and
// the run sees the interruption instead of waiting on.
void CatchWithoutRestart(int signal) {
    struct sigaction action {};
    action.sa_handler = NoteInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}
#endif

}  // namespace

void CatchInterruptSignals() {
#ifdef _WIN32
    std::signal(SIGINT, NoteInterrupt);
    std::signal(SIGTERM, NoteInterrupt);
#else
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) CatchWithoutRestart(signal);
#endif
}

bool InterruptRequested() { return interruptRequested != 0; }

void FailWritesPastFileSizeLimit() {
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace platform
