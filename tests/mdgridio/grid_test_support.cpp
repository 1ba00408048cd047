#include "grid_test_support.h"

#include <algorithm>
#include <cstring>

std::vector<std::uint32_t> ReadCells(const std::string& grid) {
    const std::string bytes = ReadFile(grid + "/cells.raw");
    std::vector<std::uint32_t> cells(bytes.size() / 4);
    std::memcpy(cells.data(), bytes.data(), cells.size() * 4);
    return cells;
}

std::vector<std::string> FolderListing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        names.push_back(entry.path().generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
