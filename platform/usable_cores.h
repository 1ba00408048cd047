// How many cores this process may keep busy.
#pragma once

namespace platform {

// The cores of its CPU affinity mask, fewer when a CPU quota of its control
// group or one above it (cgroup v2 cpu.max) allows less, rounded up; at
// least 1. A container limited to 2 CPUs on a 64-core machine gets 2.
unsigned UsableCores();

}  // namespace platform
