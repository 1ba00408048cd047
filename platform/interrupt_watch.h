// Interruption of a batch (Ctrl-C, Ctrl-\, kill, a closed terminal) while it
// waits on its converters.
#pragma once

#include <csignal>

namespace platform {

// From here on SIGINT, SIGTERM, SIGHUP and SIGQUIT, unless ignored at start,
// are held back and only noted while the batch waits (WaitMask), so that no
// check can miss one that comes just before a wait. SIGPIPE is ignored: a
// reader of standard error that went away must not take the batch, its log
// and its converters with it. SIGCHLD is never ignored.
void WatchInterruptSignals();

#ifdef _WIN32
// On Windows: Ctrl-C, Ctrl-Break, a closed console, log-off, shut-down, or
// the batch's stop event (see StopEventVariable) set by whoever started it.
// Each posts a packet to this completion port, waking a wait on it.
void WakeOnInterrupt(void* completionPort);

// The environment variable naming the event by which a batch asks a
// converter (or a test, a batch) to stop and clean up.
inline constexpr const wchar_t* stopEventVariable = L"CELLPORT_STOP_EVENT";
#else
// The signal mask to wait under.
const sigset_t& WaitMask();

// The signals a converter starts with at their default action: all but
// those ignored when the batch started (nohup's SIGHUP stays ignored), and
// SIGTERM always, since that is how the batch stops its converters.
const sigset_t& SignalsToDefault();
#endif

// Also takes one that is held back right now.
bool InterruptArrived();

}  // namespace platform
