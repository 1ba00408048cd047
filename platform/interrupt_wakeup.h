// For POSIX waits that must end when the user interrupts the run.
#pragma once

namespace platform {

// A descriptor that becomes readable once an interrupt signal has been
// caught, and stays so; -1 before signals are caught.
int InterruptWakeupDescriptor();

}  // namespace platform
