#include "platform/interrupt_watch.h"

#include <initializer_list>

namespace platform {

namespace {

constexpr std::initializer_list<int> watchedSignals = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t interruptArrived = 0;
volatile std::sig_atomic_t sentByTerminal = 0;
sigset_t startMask;
sigset_t waitMask;
sigset_t caughtSignals;

void NoteInterrupt(int, siginfo_t* info, void*) {
    interruptArrived = 1;
    if (info != nullptr && info->si_code == SI_KERNEL) sentByTerminal = 1;
}

bool IgnoredAtStart(int signal) {
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void WatchInterruptSignals() {
    sigemptyset(&caughtSignals);
    pthread_sigmask(SIG_SETMASK, nullptr, &startMask);
    waitMask = startMask;
    for (int signal : watchedSignals) {
        if (IgnoredAtStart(signal)) continue;
        struct sigaction action {};
        action.sa_sigaction = NoteInterrupt;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
        sigaddset(&caughtSignals, signal);
        sigdelset(&waitMask, signal);
    }
    pthread_sigmask(SIG_BLOCK, &caughtSignals, nullptr);
}

const sigset_t& WaitMask() { return waitMask; }
const sigset_t& StartMask() { return startMask; }

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

bool InterruptReachedConverters() { return sentByTerminal != 0; }

}  // namespace platform
