#include "mdgridio/geotiff/temporary_name.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace mdgridio {

namespace {

constexpr char suffix[] = ".partial";
constexpr std::size_t suffixLength = sizeof suffix - 1;
constexpr std::size_t hashLength = 1 + 16;  // "~" and the hex digits

std::uint64_t Fnv1a(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    }
    return hash;
}

}  // namespace

std::string GeoTiffTemporaryLeaf(int folder, const std::string& leaf) {
    const long limit = fpathconf(folder, _PC_NAME_MAX);
    const std::size_t nameMax = limit > 0 ? static_cast<std::size_t>(limit) : 255;
    if (leaf.size() + suffixLength <= nameMax) return leaf + suffix;
    const std::size_t kept =
        nameMax > suffixLength + hashLength ? nameMax - suffixLength - hashLength : 0;
    char hash[hashLength + 1];
    std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(Fnv1a(leaf)));
    return leaf.substr(0, kept) + hash + suffix;
}

}  // namespace mdgridio
