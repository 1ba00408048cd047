// Interruption of a batch (Ctrl-C, kill, a closed terminal) while it waits
// on its converters.
#pragma once

#include <csignal>

namespace platform {

// From here on SIGINT, SIGTERM and SIGHUP, unless ignored at start, are held
// back and only noted while the batch waits (WaitMask), so that no check
// can miss one that comes just before a wait.
void WatchInterruptSignals();

// The signal mask to wait under, and the one the batch started with, which
// its converters get.
const sigset_t& WaitMask();
const sigset_t& StartMask();

// Also takes one that is held back right now.
bool InterruptArrived();

// The terminal sent it to the whole foreground process group, converters
// included.
bool InterruptReachedConverters();

}  // namespace platform
