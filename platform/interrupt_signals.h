// Signals from outside: interruption of a run (Ctrl-C, kill, a closed
// terminal) and the file size limit a shell may set.
#pragma once

namespace platform {

// From here on, an interrupt signal is only noted, for the run to stop at
// its next check instead of dying with a half-made grid. A read that the
// signal cuts short returns early.
void CatchInterruptSignals();

bool InterruptRequested();

// A write past the limit then fails like any other write, instead of the
// signal killing the process with its grid half made.
void FailWritesPastFileSizeLimit();

}  // namespace platform
