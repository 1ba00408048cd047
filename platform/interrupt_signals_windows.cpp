#include "platform/interrupt_signals.h"

#include <windows.h>

#include <atomic>
#include <csignal>

#include "platform/console_events_windows.h"
#include "platform/stop_event_windows.h"

namespace platform {

namespace {

std::atomic<bool> interruptRequested{false};
std::atomic<bool> interruptSeen{false};
// The thread that runs the conversion: its waits on input are cut short.
HANDLE runThread = nullptr;

constexpr DWORD cancelEveryMilliseconds = 20;
constexpr DWORD longestWaitMilliseconds = 30000;

bool IsInterruption(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            return true;
        default:
            return false;
    }
}

// A signal raised inside the process (raise(SIGINT) from a library) comes
// through the C runtime, not the console, and interrupts the run too. The
// runtime resets the handler before each call, so it arms itself again.
void NoteRaisedSignal(int signal) {
    std::signal(signal, NoteRaisedSignal);
    interruptRequested = true;
}

// A batch's stop is a Ctrl-Break that reaches this run only.
void NoteStopEvent() { NoteConsoleEvent(CTRL_BREAK_EVENT); }

}  // namespace

// Windows calls this on a new thread for each event, and for a closed window,
// log-off and shut-down it ends the process as soon as this returns. So it
// notes the interruption and then does not return until the run has seen it,
// cleaned up and exited: the run's exit ends this thread with the process, and
// its status stays 130. Until the run has seen it, a read waiting on a
// stalled pipe is cancelled, again and again, since the run may be just about
// to begin one. The wait is bounded, so that a run that cannot end is still
// ended by Windows; Windows bounds it too, by a few seconds for a closed
// window. Each further event only notes what is already noted.
BOOL WINAPI NoteConsoleEvent(DWORD event) {
    if (!IsInterruption(event)) return FALSE;
    interruptRequested = true;
    for (DWORD waited = 0; waited < longestWaitMilliseconds; waited += cancelEveryMilliseconds) {
        if (!interruptSeen && runThread != nullptr) CancelSynchronousIo(runThread);
        Sleep(cancelEveryMilliseconds);
    }
    return TRUE;
}

// The C runtime's signal() would reset to the default before each call, so
// that a second Ctrl-C during the clean-up would kill the run.
void CatchInterruptSignals() {
    if (runThread == nullptr) {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &runThread, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
    }
    // Before the console handler, which then comes first for console events.
    std::signal(SIGINT, NoteRaisedSignal);
    std::signal(SIGTERM, NoteRaisedSignal);
    SetConsoleCtrlHandler(NoteConsoleEvent, TRUE);
    if (WatchStopEvent(NoteStopEvent)) interruptRequested = true;
}

bool InterruptRequested() {
    if (!interruptRequested) return false;
    interruptSeen = true;
    return true;
}

// Windows has no file size limit signal.
void FailWritesPastFileSizeLimit() {}

}  // namespace platform
