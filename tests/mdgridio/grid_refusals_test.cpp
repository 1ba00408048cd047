#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>

#include "grid_test_support.h"
#include "mdgridio/mdgridio.h"
#include "support/case_name.h"

namespace {

namespace fs = std::filesystem;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double largest = std::numeric_limits<double>::max();

struct CreateRefusal {
    const char* what;
    const char* grid;
    int cellType;
    double cellSize;
    std::optional<Box> box = Box{0, 0, 1, 1};
};

class CreateRefusalTest : public GridTest, public ::testing::WithParamInterface<CreateRefusal> {};

TEST_P(CreateRefusalTest, FailsAndLeavesEverythingAsItWas) {
    const auto& [what, grid, cellType, cellSize, box] = GetParam();
    WriteFile("file", "x");
    fs::create_directory("folder");
    WriteFile("folder/cells.raw", "1234");
    std::error_code noLinksHere;  // Windows: the link case is left out
    fs::create_symlink("nowhere", "dangling", noLinksHere);
    const auto before = FolderListing(".");
    // Anything at all at the name counts as taken, even a link to nowhere.
    const auto there = grid ? fs::symlink_status(grid).type() : fs::file_type::not_found;
    EXPECT_EQ(CellLyrExists(grid) != 0, there != fs::file_type::not_found);
    Box corners = box.value_or(Box{});
    EXPECT_LT(CellLayerCreate(grid, 3, 1, cellType, cellSize, box ? corners.data() : nullptr), 0);
    EXPECT_LT(CellLyrDelete(grid), 0);  // none of it was made here
    EXPECT_EQ(FolderListing("."), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateRefusalTest,
    ::testing::Values(CreateRefusal{"UnknownCellType", "g", 3, 1.0},
                      CreateRefusal{"NanCellSize", "g", integerCells, nan},
                      CreateRefusal{"InfiniteBox", "g", integerCells, 1.0, Box{-infinity, 0, 1, 1}},
                      CreateRefusal{"UpsideDown", "g", integerCells, 1.0, Box{0, 1, 1, 0}},
                      CreateRefusal{"UnderHalfACell", "g", integerCells, 1.0, Box{0, 0, 0.49, 1}},
                      CreateRefusal{"TooManyColumns", "g", floatCells, 1.0, Box{0, 0, 0x1p31, 1}},
                      CreateRefusal{"TooManyBytes", "g", integerCells, 1.0, Box{0, 0, 2e9, 2e9}},
                      CreateRefusal{"EdgeBeyondLargestDouble", "g", integerCells, largest / 1.6,
                                    Box{0, 0, largest, largest}},
                      CreateRefusal{"NoBox", "g", integerCells, 1.0, std::nullopt},
                      CreateRefusal{"NoName", nullptr, integerCells, 1.0},
                      CreateRefusal{"ExistingGrid", "folder", floatCells, 1.0},
                      CreateRefusal{"DanglingLink", "dangling", integerCells, 1.0}),
    CaseName());

#ifndef _WIN32  // file size limits
// Run in a child, so that the limit and SIGXFSZ stay out of the test process.
// Exits with 1 when a row was refused, + 2 when the close failed, + 4 when a
// header was written, + 8 when the grid was then deleted.
[[noreturn]] void WriteUnderSizeLimit(int rowsWritten) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{256 * 1024, 256 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const int channel = CreateGrid("g", integerCells, 1.0, {0, 0, 1000, 400});
    const std::vector<std::int32_t> row(1000, 7);
    bool rowRefused = false;
    for (int index = 0; index < rowsWritten; ++index)
        rowRefused = rowRefused || PutWindowRow(channel, index, row.data()) < 0;
    const bool closeFailed = CellLyrClose(channel) < 0;
    const bool headerWritten = fs::exists("g/cells.hdr");
    const bool deleted = CellLyrDelete("g") == 0 && !fs::exists("g");
    std::_Exit(rowRefused + 2 * closeFailed + 4 * headerWritten + 8 * deleted);
}

TEST_F(GridTest, ReportsFailedWritesAndNeverFinishesTheGrid) {
    EXPECT_EXIT(WriteUnderSizeLimit(400), ::testing::ExitedWithCode(1 + 2 + 8), "");
    // Only the rows filled with no-data at close pass the limit.
    EXPECT_EXIT(WriteUnderSizeLimit(10), ::testing::ExitedWithCode(2 + 8), "");
}
#endif

}  // namespace
