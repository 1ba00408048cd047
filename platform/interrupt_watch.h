// Interruption of a batch (Ctrl-C, kill, a closed terminal) while it waits
// on its converters.
#pragma once

#include <csignal>

namespace platform {

// From here on SIGINT, SIGTERM and SIGHUP, unless ignored at start, are held
// back and only noted while the batch waits (WaitMask), so that no check
// can miss one that comes just before a wait.
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
// The signal mask to wait under, and the one the batch started with, which
// its converters get.
const sigset_t& WaitMask();
const sigset_t& StartMask();
#endif

// Also takes one that is held back right now.
bool InterruptArrived();

// The terminal sent it to the whole foreground process group, converters
// included.
bool InterruptReachedConverters();

}  // namespace platform
