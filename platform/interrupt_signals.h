// Interruption of a run from outside (Ctrl-C, kill, a closed terminal).
#pragma once

namespace platform {

// From here on, an interrupt signal is only noted, for the run to stop at
// its next check instead of dying with a half-made grid.
void CatchInterruptSignals();

bool InterruptRequested();

}  // namespace platform
