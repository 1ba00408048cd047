// Shared pieces of the grid library's tests, each of which runs in a
// scratch folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mdgridio/mdgridio.h"
#include "support/scratch_folder.h"

using Box = std::array<double, 4>;

constexpr int integerCells = 1;
constexpr int floatCells = 2;
constexpr std::uint32_t integerNoDataBits = 0x80000001u;
constexpr std::uint32_t missingFloatBits = 0xff7fffffu;

class GridTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::current_path(scratch.Path()); }
    void TearDown() override {
        GridIOExit();
        std::filesystem::current_path(startFolder);
    }
    ScratchFolder scratch;
    std::filesystem::path startFolder = std::filesystem::current_path();
};

inline int CreateGrid(const std::string& name, int cellType, double cellSize, Box box) {
    return CellLayerCreate(name.c_str(), 3, 1, cellType, cellSize, box.data());
}

std::vector<std::uint32_t> ReadCells(const std::string& grid);
std::vector<std::string> FolderListing(const std::string& folder);
