#include "grid_test_support.h"

#include <algorithm>
#include <filesystem>

#include "mdgridio/mdgridio.h"

void GridTest::SetUp() {
    startFolder = std::filesystem::current_path();
    std::filesystem::current_path(scratch.Path());
}

void GridTest::TearDown() {
    GridIOExit();
    std::filesystem::current_path(startFolder);
}

int CreateGrid(const std::string& name, int cellType, double cellSize, Box box) {
    return CellLayerCreate(name.c_str(), 3, 1, cellType, cellSize, box.data());
}

std::vector<std::uint32_t> ReadCells(const std::string& grid) {
    const std::string bytes = ReadFile(grid + "/cells.raw");
    std::vector<std::uint32_t> cells(bytes.size() / 4);
    std::copy(bytes.begin(), bytes.begin() + static_cast<long>(cells.size() * 4),
              reinterpret_cast<char*>(cells.data()));
    return cells;
}

std::vector<std::string> FolderListing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
