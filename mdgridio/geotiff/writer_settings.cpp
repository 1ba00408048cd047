#include "mdgridio/geotiff/writer_settings.h"

#include <sched.h>
#include <strings.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace mdgridio {

namespace {

// Level 3 is measured as the best trade of time for size: see bench/RESULTS.md.
constexpr int defaultLevel = 3;
constexpr int maxLevel = 22;
constexpr int maxWorkers = 256;

// Empty when unset; 0 when not a whole number within [1, highest].
std::optional<int> Setting(const char* name, int highest) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    int value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    return error == std::errc{} && stop == end && value >= 1 && value <= highest ? value : 0;
}

// The lowest "quota period" of cpu.max from the process's cgroup (v2) up to
// the root, in cores, rounded up; 0 without a quota.
int CgroupQuotaCores() {
    std::ifstream membership("/proc/self/cgroup");
    std::string line;
    std::string path;
    while (std::getline(membership, line))
        if (line.starts_with("0::")) path = line.substr(3);
    if (path.empty()) return 0;
    int lowest = 0;
    for (;;) {
        std::ifstream limit("/sys/fs/cgroup" + path + "/cpu.max");
        std::string quota;
        double period = 0;
        if (limit >> quota >> period && quota != "max" && period > 0) {
            const int cores = std::max(1, int(std::ceil(std::atof(quota.c_str()) / period)));
            lowest = lowest == 0 ? cores : std::min(lowest, cores);
        }
        if (path.empty() || path == "/") break;
        path.erase(path.rfind('/'));
    }
    return lowest;
}

}  // namespace

int UsableCores() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    int cores = sched_getaffinity(0, sizeof allowed, &allowed) == 0 ? CPU_COUNT(&allowed) : 1;
    if (const int quota = CgroupQuotaCores(); quota > 0) cores = std::min(cores, quota);
    return std::max(cores, 1);
}

std::optional<WriterSettings> ReadWriterSettings() {
    const std::optional<int> level = Setting("MDGRIDIO_ZSTD_LEVEL", maxLevel);
    const std::optional<int> workers = Setting("MDGRIDIO_THREADS", maxWorkers);
    const char* kind = std::getenv("MDGRIDIO_GEOTIFF");
    const bool plain = kind == nullptr || *kind == '\0';
    if (level == 0 || workers == 0 || (!plain && strcasecmp(kind, "cog") != 0)) return std::nullopt;
    return WriterSettings{level.value_or(defaultLevel), workers ? *workers : UsableCores(), !plain};
}

}  // namespace mdgridio
