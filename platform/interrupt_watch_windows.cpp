#include <windows.h>

#include <atomic>

#include "platform/console_events_windows.h"
#include "platform/interrupt_watch.h"
#include "platform/stop_event_windows.h"

namespace platform {

namespace {

std::atomic<bool> interruptArrived{false};
std::atomic<HANDLE> wakeupPort{nullptr};

void NoteInterrupt() {
    interruptArrived = true;
    if (const HANDLE port = wakeupPort.load()) PostQueuedCompletionStatus(port, 0, 0, nullptr);
}

}  // namespace

// Windows calls this on a thread of its own for each event. After a closed
// window, log-off or shut-down it ends the process as soon as this returns,
// so this then waits for the batch to stop its converters, write its log and
// exit by itself (Windows allows a few seconds).
BOOL WINAPI NoteConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            NoteInterrupt();
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            NoteInterrupt();
            Sleep(INFINITE);
            return TRUE;
        default:
            return FALSE;
    }
}

void WatchInterruptSignals() {
    SetConsoleCtrlHandler(NoteConsoleEvent, TRUE);
    if (WatchStopEvent(NoteInterrupt)) NoteInterrupt();
}

void WakeOnInterrupt(void* completionPort) { wakeupPort = static_cast<HANDLE>(completionPort); }

bool InterruptArrived() { return interruptArrived; }

// Its converters share its console and get the same console events, but
// not a stop asked through its stop event, nor one of a console they are not
// attached to: the batch always asks them itself.
bool InterruptReachedConverters() { return false; }

}  // namespace platform
