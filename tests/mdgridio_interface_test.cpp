// The project's grid library through its C interface, as any caller would
// use it: what lands on disk, what is refused, what is deleted.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "mdgridio/mdgridio.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Box = std::array<double, 4>;
using Cells = std::vector<std::uint32_t>;

constexpr int integerCells = 1;
constexpr int floatCells = 2;
constexpr std::uint32_t integerNoData = 0x80000001u;
constexpr std::uint32_t missingFloat = 0xff7fffffu;

Cells ReadCells(const fs::path& grid) {
    const std::string bytes = ReadFile(grid / "cells.raw");
    Cells cells(bytes.size() / 4);
    std::memcpy(cells.data(), bytes.data(), cells.size() * 4);
    return cells;
}

std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

// Each test works in a scratch folder of its own, and leaves no grid open.
class GridLibrary : public testing::Test {
protected:
    void SetUp() override { fs::current_path(scratch.Path()); }
    void TearDown() override {
        GridIOExit();
        fs::current_path(startFolder);
    }
    // Creates a grid and sets the window to it, as the converter does.
    static int Create(const char* name, int cellType, double cellSize, Box box) {
        const int channel = CellLayerCreate(name, 3, 1, cellType, cellSize, box.data());
        Box fitted{};
        AccessWindowSet(box.data(), cellSize, fitted.data());
        return channel;
    }
    const fs::path startFolder = fs::current_path();
    const ScratchFolder scratch;
};

struct WriteCase {
    const char* what;
    int cellType;
    int columns;
    int rows;
    std::vector<std::pair<int, std::uint32_t>> writes;  // row, and every cell's bits
};

class Writes : public GridLibrary, public testing::WithParamInterface<WriteCase> {};

// Rows skipped before the last one written hold no-data; a row written
// again holds its last cells.
TEST_P(Writes, HoldEachRowsLastCellsAndNoDataInSkippedRows) {
    const auto& [what, cellType, columns, rows, writes] = GetParam();
    Cells expected(static_cast<std::size_t>(columns) * rows,
                   cellType == floatCells ? missingFloat : integerNoData);
    const int channel = Create("g", cellType, 0.5, {10, 20, 10 + 0.5 * columns, 20 + 0.5 * rows});
    for (const auto& [row, bits] : writes) {
        const Cells cells(static_cast<std::size_t>(columns), bits);
        EXPECT_EQ(PutWindowRow(channel, row, cells.data()), 0) << row;
        std::copy(cells.begin(), cells.end(), expected.begin() + std::ptrdiff_t{row} * columns);
    }
    for (const int badRow : {-1, rows}) EXPECT_LT(PutWindowRow(channel, badRow, expected.data()), 0);
    EXPECT_LT(PutWindowRow(channel + 1, 0, expected.data()), 0);
    EXPECT_LT(PutWindowRow(channel, 0, nullptr), 0);
    EXPECT_EQ(CellLyrClose(channel), 0);
    EXPECT_LT(CellLyrClose(channel), 0);
    EXPECT_EQ(ReadCells("g"), expected);
    EXPECT_EQ(Listing("g"), (std::vector<std::string>{"cells.hdr", "cells.raw"}));
}

INSTANTIATE_TEST_SUITE_P(
    , Writes,
    testing::Values(WriteCase{"InOrder", floatCells, 2, 2, {{0, 0x3fc00000u}, {1, 0xc0100000u}}},
                    WriteCase{"GapsAndRewrites", integerCells, 3, 5,
                              {{2, 7}, {0, 0x80000000u}, {4, 0x7fffffffu}, {2, 9}}},
                    WriteCase{"LastRowFirst", floatCells, 2, 4, {{3, 1}, {1, 2}}},
                    // Rows of 1.2 MB: the write buffer ends inside rows and fills span it.
                    WriteCase{"RowsWiderThanTheBuffer", integerCells, 300000, 3, {{2, 5}, {0, 6}}}),
    [](const auto& info) { return std::string(info.param.what); });

// A caller that gives up part way closes, then deletes: the close must not
// first fill the rest of the grid, which here would be 3.6 GB.
TEST_F(GridLibrary, ClosingBeforeTheLastRowLeavesTheGridUnfinishedForDeletion) {
    const int channel = Create("g", integerCells, 1, {0, 0, 30000, 30000});
    const Cells row(30000, 7);
    EXPECT_EQ(PutWindowRow(channel, 0, row.data()), 0);
    EXPECT_LT(CellLyrClose(channel), 0);
    EXPECT_LE(fs::file_size("g/cells.raw"), 30000u * 4);
    EXPECT_FALSE(fs::exists("g/cells.hdr"));
    EXPECT_EQ(CellLyrDelete("g"), 0);
    EXPECT_FALSE(fs::exists("g"));
}

// The caller's row holds as many cells as the window has columns.
TEST_F(GridLibrary, RowsOnlyWhileTheWindowIsTheGridsSize) {
    Box box{0, 0, 1000, 2};
    Box narrow{0, 0, 10, 2};
    Box out{};
    const int channel = CellLayerCreate("g", 3, 1, integerCells, 1, box.data());
    ASSERT_EQ(AccessWindowSet(narrow.data(), 1, out.data()), 0);
    const Cells shortRow(10, 5);
    EXPECT_LT(PutWindowRow(channel, 0, shortRow.data()), 0);
    ASSERT_EQ(AccessWindowSet(box.data(), 1, out.data()), 0);
    const Cells row(1000, 6);
    EXPECT_EQ(PutWindowRow(channel, 0, row.data()), 0);
    EXPECT_EQ(PutWindowRow(channel, 1, row.data()), 0);
    EXPECT_EQ(CellLyrClose(channel), 0);
}

struct WindowCase {
    Box box;
    double cellSize;
    int columns;
    int rows;
    Box fitted;  // kept west and north edges, whole cells east and south
};

TEST_F(GridLibrary, WindowsAreWholeCellsFromTheNorthWestCorner) {
    const WindowCase cases[] = {
        {{0, 0, 2.4, 2.5}, 1, 2, 3, {0, -0.5, 2, 2.5}},
        {{-10, 5, -7.4, 7.6}, 1, 3, 3, {-10, 4.6, -7, 7.6}},
        {{100, 200, 103.5, 202.5}, 0.5, 7, 5, {100, 200, 103.5, 202.5}},
    };
    for (const auto& check : cases) {
        Box box = check.box;
        Box out{};
        ASSERT_EQ(AccessWindowSet(box.data(), check.cellSize, out.data()), 0);
        EXPECT_EQ(WindowCols(), check.columns);
        EXPECT_EQ(WindowRows(), check.rows);
        for (int corner = 0; corner < 4; ++corner) EXPECT_DOUBLE_EQ(out[corner], check.fitted[corner]);
    }
}

struct Refusal {
    const char* what;
    const char* grid;
    int cellType;
    double cellSize;
    std::optional<Box> box = Box{0, 0, 1, 1};
};

class Refusals : public GridLibrary, public testing::WithParamInterface<Refusal> {};

// Anything at the name counts as taken, even a link to nowhere, and a
// refused grid leaves everything as it was.
TEST_P(Refusals, LeaveEverythingAsItWas) {
    const auto& [what, grid, cellType, cellSize, box] = GetParam();
    WriteFile("file", "x");
    fs::create_directory("folder");
    WriteFile("folder/cells.raw", "1234");
    std::error_code noLinksHere;
    fs::create_symlink("nowhere", "dangling", noLinksHere);
    if (noLinksHere && std::string(what) == "DanglingLink") GTEST_SKIP() << "no symbolic links here";
    const auto before = Listing(".");
    const bool taken = grid && fs::symlink_status(grid).type() != fs::file_type::not_found;
    EXPECT_EQ(CellLyrExists(grid) != 0, taken);
    Box corners = box.value_or(Box{});
    EXPECT_LT(CellLayerCreate(grid, 3, 1, cellType, cellSize, box ? corners.data() : nullptr), 0);
    EXPECT_LT(CellLyrDelete(grid), 0);
    EXPECT_EQ(Listing("."), before);
}

constexpr double largest = std::numeric_limits<double>::max();

INSTANTIATE_TEST_SUITE_P(
    , Refusals,
    testing::Values(Refusal{"UnknownCellType", "g", 3, 1.0},
                    Refusal{"NanCellSize", "g", integerCells, std::nan("")},
                    Refusal{"InfiniteBox", "g", integerCells, 1.0, Box{-INFINITY, 0, 1, 1}},
                    Refusal{"UpsideDown", "g", integerCells, 1.0, Box{0, 1, 1, 0}},
                    Refusal{"UnderHalfACell", "g", integerCells, 1.0, Box{0, 0, 0.49, 1}},
                    Refusal{"TooManyColumns", "g", floatCells, 1.0, Box{0, 0, 0x1p31, 1}},
                    Refusal{"EdgeBeyondLargestDouble", "g", integerCells, largest / 1.6,
                            Box{0, 0, largest, largest}},
                    Refusal{"NoBox", "g", integerCells, 1.0, std::nullopt},
                    Refusal{"NoName", nullptr, integerCells, 1.0},
                    Refusal{"ExistingFile", "file", integerCells, 1.0},
                    Refusal{"ExistingFolder", "folder", floatCells, 1.0},
                    Refusal{"DanglingLink", "dangling", integerCells, 1.0}),
    [](const auto& info) { return std::string(info.param.what); });

// Only grids made here, whose folder is still the one made, go.
TEST_F(GridLibrary, DeletesOnlyItsOwnGrids) {
    const auto makeGrid = [](const char* name) {
        const int channel = Create(name, integerCells, 1, {0, 0, 1, 1});
        const std::int32_t cell = 3;
        PutWindowRow(channel, 0, &cell);
        return CellLyrClose(channel);
    };
    ASSERT_EQ(makeGrid("finished"), 0);
    Create("open", floatCells, 1, {0, 0, 1, 1});
    ASSERT_EQ(makeGrid("someone else's file inside"), 0);
    WriteFile("someone else's file inside/notes.txt", "mine");
    EXPECT_EQ(CellLyrDelete("finished"), 0);
    EXPECT_EQ(CellLyrDelete("open"), 0);
    EXPECT_LT(CellLyrDelete("someone else's file inside"), 0);
    EXPECT_EQ(Listing("."), (std::vector<std::string>{"someone else's file inside",
                                                       "someone else's file inside/notes.txt"}));
}

#ifndef _WIN32  // a held folder keeps its name on Windows
TEST_F(GridLibrary, LeavesAFolderMadeAgainBySomeoneElse) {
    const int channel = Create("g", integerCells, 1, {0, 0, 1, 1});
    CellLyrClose(channel);
    fs::remove_all("g");
    fs::create_directory("g");
    EXPECT_LT(CellLyrDelete("g"), 0);
    EXPECT_TRUE(fs::exists("g"));
}
#endif

}  // namespace
