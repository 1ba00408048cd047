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

// The signal mask to wait under.
const sigset_t& WaitMask();

// The signals a converter starts with at their default action: all but
// those ignored when the batch started (nohup's SIGHUP stays ignored), and
// SIGTERM always, since that is how the batch stops its converters.
const sigset_t& SignalsToDefault();

// Also takes one that is held back right now.
bool InterruptArrived();

}  // namespace platform
