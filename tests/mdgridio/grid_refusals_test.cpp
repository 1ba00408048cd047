#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "grid_test_support.h"
#include "mdgridio/mdgridio.h"
#include "support/case_name.h"

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double largest = std::numeric_limits<double>::max();
constexpr Box unitBox{0, 0, 1, 1};

struct CreateRefusal {
    const char* what;
    const char* grid;
    int mode;
    int access;
    int cellType;
    double cellSize;
    Box box;
};

class CreateRefusalTest : public GridTest, public ::testing::WithParamInterface<CreateRefusal> {};

TEST_P(CreateRefusalTest, FailsAndLeavesEverythingAsItWas) {
    WriteFile("file", "x");
    std::filesystem::create_directory("folder");
    std::filesystem::create_symlink("nowhere", "dangling");
    const auto before = FolderListing(".");
    Box box = GetParam().box;
    EXPECT_LT(CellLayerCreate(GetParam().grid, GetParam().mode, GetParam().access,
                              GetParam().cellType, GetParam().cellSize, box.data()),
              0);
    EXPECT_EQ(FolderListing("."), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateRefusalTest,
    ::testing::Values(
        CreateRefusal{"ReadMode", "g", 1, 1, 1, 1.0, unitBox},
        CreateRefusal{"WholeGridAccess", "g", 3, 2, 1, 1.0, unitBox},
        CreateRefusal{"UnknownCellType", "g", 3, 1, 3, 1.0, unitBox},
        CreateRefusal{"ZeroCellSize", "g", 3, 1, 1, 0.0, unitBox},
        CreateRefusal{"NegativeCellSize", "g", 3, 1, 1, -1.0, unitBox},
        CreateRefusal{"NanCellSize", "g", 3, 1, 1, nan, unitBox},
        CreateRefusal{"InfiniteCellSize", "g", 3, 1, 2, infinity, unitBox},
        CreateRefusal{"NanInBox", "g", 3, 1, 1, 1.0, {0, nan, 1, 1}},
        CreateRefusal{"InfiniteBox", "g", 3, 1, 1, 1.0, {-infinity, 0, 1, 1}},
        CreateRefusal{"NoWidth", "g", 3, 1, 1, 1.0, {1, 0, 1, 1}},
        CreateRefusal{"UpsideDown", "g", 3, 1, 1, 1.0, {0, 1, 1, 0}},
        CreateRefusal{"UnderHalfACell", "g", 3, 1, 1, 1.0, {0, 0, 0.49, 1}},
        CreateRefusal{"TooManyColumns", "g", 3, 1, 1, 1.0, {0, 0, 2147483648.0, 1}},
        CreateRefusal{"TooManyBytes", "g", 3, 1, 1, 1.0, {0, 0, 2e9, 2e9}},
        CreateRefusal{
            "EdgeBeyondLargestDouble", "g", 3, 1, 1, largest / 1.6, {0, 0, largest, largest}},
        CreateRefusal{"ExistingFile", "file", 3, 1, 1, 1.0, unitBox},
        CreateRefusal{"ExistingFolder", "folder", 3, 1, 1, 1.0, unitBox},
        CreateRefusal{"DanglingLink", "dangling", 3, 1, 1, 1.0, unitBox},
        CreateRefusal{"MissingParent", "absent/g", 3, 1, 1, 1.0, unitBox},
        CreateRefusal{"EmptyName", "", 3, 1, 1, 1.0, unitBox}),
    CaseName());

struct WindowCase {
    Box box;
    double cellSize;
    int columns;
    int rows;
    Box extent;
};

TEST_F(GridTest, WindowRoundsToWholeCellsFromTheNorthWestCorner) {
    const WindowCase cases[] = {
        {{0, 0, 10, 5}, 1.0, 10, 5, {0, 0, 10, 5}},
        {{0, 0, 2.4, 2.6}, 1.0, 2, 3, {0, -0.4, 2, 2.6}},
        {{-10, -10, -7.5, -7.5}, 1.0, 3, 3, {-10, -10.5, -7, -7.5}},
    };
    for (const WindowCase& window : cases) {
        Box box = window.box, extent{};
        ASSERT_EQ(AccessWindowSet(box.data(), window.cellSize, extent.data()), 0);
        EXPECT_EQ(WindowCols(), window.columns);
        EXPECT_EQ(WindowRows(), window.rows);
        for (int side = 0; side < 4; ++side) EXPECT_DOUBLE_EQ(extent[side], window.extent[side]);
    }
    Box box{0, 0, 1, 1}, untouched{7, 7, 7, 7};
    EXPECT_LT(AccessWindowSet(box.data(), 0.0, untouched.data()), 0);
    EXPECT_EQ(untouched, (Box{7, 7, 7, 7}));
    EXPECT_EQ(WindowCols(), 3);
}

TEST_F(GridTest, RefusesUnknownChannelsRowsOutsideTheGridAndMissingArguments) {
    Box box{0, 0, 2, 2};
    EXPECT_LT(CellLayerCreate(nullptr, 3, 1, 1, 1.0, box.data()), 0);
    EXPECT_LT(CellLayerCreate("g", 3, 1, 1, 1.0, nullptr), 0);
    const int channel = CellLayerCreate("g", 3, 1, 1, 1.0, box.data());
    const std::int32_t row[2] = {1, 2};
    EXPECT_LT(PutWindowRow(channel + 1, 0, row), 0);
    EXPECT_LT(PutWindowRow(-1, 0, row), 0);
    EXPECT_LT(PutWindowRow(channel, -1, row), 0);
    EXPECT_LT(PutWindowRow(channel, 2, row), 0);
    EXPECT_LT(PutWindowRow(channel, 0, nullptr), 0);
    EXPECT_LT(CellLyrClose(-1), 0);
    EXPECT_LT(CellLyrClose(channel + 1), 0);
    EXPECT_EQ(CellLyrClose(channel), 0);  // the refusals did not spoil the grid
    EXPECT_LT(CellLyrClose(channel), 0);
    EXPECT_LT(PutWindowRow(channel, 0, row), 0);
}

struct SizeLimitCase {
    const char* what;
    int rowsWritten;
    int expectedExit;  // 1: a row was refused, 2: close failed, 4: a header was written
};

// Run in a child: the file size limit and SIGXFSZ stay out of the test process.
[[noreturn]] void WriteUnderSizeLimit(int rowsWritten) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{256 * 1024, 256 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const int channel = CreateGrid("g", integerCells, 1.0, {0, 0, 1000, 400});
    const std::vector<std::int32_t> row(1000, 7);
    bool rowRefused = false;
    for (int index = 0; index < rowsWritten; ++index) {
        rowRefused = rowRefused || PutWindowRow(channel, index, row.data()) < 0;
    }
    const bool closeFailed = CellLyrClose(channel) < 0;
    std::_Exit((rowRefused ? 1 : 0) + (closeFailed ? 2 : 0) +
               (std::filesystem::exists("g/cells.hdr") ? 4 : 0));
}

class SizeLimitTest : public GridTest, public ::testing::WithParamInterface<SizeLimitCase> {};

TEST_P(SizeLimitTest, ReportsTheFailedWriteAndNeverFinishesTheGrid) {
    EXPECT_EXIT(WriteUnderSizeLimit(GetParam().rowsWritten),
                ::testing::ExitedWithCode(GetParam().expectedExit), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, SizeLimitTest,
                         ::testing::Values(SizeLimitCase{"WhileWritingRows", 400, 1 + 2},
                                           SizeLimitCase{"WhileFillingUnwrittenRows", 10, 2}),
                         CaseName());

}  // namespace
