#include "platform/interrupt_watch.h"

#include <initializer_list>

namespace platform {

namespace {

constexpr std::initializer_list<int> watchedSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
volatile std::sig_atomic_t interruptArrived = 0;
sigset_t waitMask;
sigset_t caughtSignals;
sigset_t toDefault;

void NoteInterrupt(int) { interruptArrived = 1; }

bool IgnoredAtStart(int signal) {
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void WatchInterruptSignals() {
    sigemptyset(&caughtSignals);
    sigfillset(&toDefault);
    for (int signal = 1; signal < NSIG; ++signal)
        if (signal != SIGTERM && IgnoredAtStart(signal)) sigdelset(&toDefault, signal);
    pthread_sigmask(SIG_SETMASK, nullptr, &waitMask);
    for (int signal : watchedSignals) {
        if (IgnoredAtStart(signal)) continue;
        struct sigaction action {};
        action.sa_handler = NoteInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
        sigaddset(&caughtSignals, signal);
        sigdelset(&waitMask, signal);
    }
    std::signal(SIGPIPE, SIG_IGN);
    // Ignored, it would make the system reap the converters unasked, and
    // their exit statuses would be lost.
    std::signal(SIGCHLD, SIG_DFL);
    pthread_sigmask(SIG_BLOCK, &caughtSignals, nullptr);
}

const sigset_t& WaitMask() { return waitMask; }
const sigset_t& SignalsToDefault() { return toDefault; }

bool InterruptArrived() {
    sigset_t pending;
    if (interruptArrived == 0 && sigpending(&pending) == 0) {
        for (int signal : watchedSignals) {
            if (sigismember(&caughtSignals, signal) == 1 && sigismember(&pending, signal) == 1) {
                // Unblocked for a moment, the held-back signal is delivered.
                pthread_sigmask(SIG_UNBLOCK, &caughtSignals, nullptr);
                pthread_sigmask(SIG_BLOCK, &caughtSignals, nullptr);
                break;
            }
        }
    }
    return interruptArrived != 0;
}

}  // namespace platform
