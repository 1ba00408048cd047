#include <windows.h>

#include <bitset>

#include "platform/usable_cores.h"

namespace platform {

// The cores of the process's affinity mask (its processor group's, on
// machines with more than 64).
unsigned UsableCores() {
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return 1;
    return static_cast<unsigned>(std::bitset<sizeof process * 8>(process).count());
}

}  // namespace platform
