#include "platform/usable_cores.h"

#include <sched.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>

namespace platform {

namespace {

constexpr const char* cgroupRoot = "/sys/fs/cgroup";

// "200000 100000" allows two cores' worth of time; "max 100000" any.
unsigned QuotaCores(const std::string& folder) {
    std::ifstream file(std::string(cgroupRoot) + folder + "/cpu.max");
    std::string quota;
    unsigned long long period = 0;
    if (!(file >> quota >> period) || quota == "max" || period == 0) return 0;
    try {
        const unsigned long long allowed = std::stoull(quota);
        return static_cast<unsigned>(std::max(1ull, (allowed + period - 1) / period));
    } catch (const std::exception&) {
        return 0;
    }
}

// The least quota from this process's control group up to the root.
unsigned CgroupCores() {
    std::ifstream file("/proc/self/cgroup");
    std::string folder;
    for (std::string line; std::getline(file, line);)
        if (line.starts_with("0::")) folder = line.substr(3);
    if (folder == "/") folder.clear();
    // In a container the root seen is the container's own group, with its quota.
    unsigned least = 0;
    while (true) {
        const unsigned cores = QuotaCores(folder);
        if (cores != 0) least = least == 0 ? cores : std::min(least, cores);
        if (folder.empty()) return least;
        const std::size_t slash = folder.rfind('/');
        folder.erase(slash == std::string::npos ? 0 : slash);
    }
}

}  // namespace

unsigned UsableCores() {
    cpu_set_t cores;
    unsigned usable = std::thread::hardware_concurrency();
    if (sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 0)
        usable = static_cast<unsigned>(CPU_COUNT(&cores));
    const unsigned quota = CgroupCores();
    if (quota != 0) usable = std::min(usable == 0 ? quota : usable, quota);
    return std::max(1u, usable);
}

}  // namespace platform
