#include "platform/interrupt_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

#include "platform/interrupt_wakeup.h"

namespace platform {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;
// The self-pipe: the handler writes a byte into it, so a wait that polls its
// read end ends whenever the signal comes, also just before the wait begins.
volatile std::sig_atomic_t wakeupReadEnd = -1;
volatile std::sig_atomic_t wakeupWriteEnd = -1;

void NoteInterrupt(int) {
    const int savedErrno = errno;
    interruptRequested = 1;
    const char byte = 1;
    if (wakeupWriteEnd >= 0 && write(wakeupWriteEnd, &byte, 1) < 0) {
        // A full pipe is readable already.
    }
    errno = savedErrno;
}

void MakeWakeupPipe() {
    if (wakeupReadEnd >= 0) return;
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return;
    wakeupReadEnd = ends[0];
    wakeupWriteEnd = ends[1];
}

// A signal ignored when the run starts (nohup, a script's background job)
// was ignored on purpose and stays so. Without SA_RESTART, so that a call
// that waits returns and the run sees the interruption.
void CatchUnlessIgnored(int signal) {
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = NoteInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

}  // namespace

void CatchInterruptSignals() {
    MakeWakeupPipe();
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) CatchUnlessIgnored(signal);
}

bool InterruptRequested() { return interruptRequested != 0; }

int InterruptWakeupDescriptor() { return wakeupReadEnd; }

void FailWritesPastFileSizeLimit() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform
