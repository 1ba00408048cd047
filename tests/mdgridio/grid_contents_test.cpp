#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <sstream>

#include "grid_test_support.h"
#include "mdgridio/mdgridio.h"
#include "support/case_name.h"
#include "support/gdal_tools.h"
#include "support/run_process.h"

namespace {

struct RowWrite {
    int row;
    std::uint32_t bits;
};

struct WriteOrderCase {
    const char* what;
    int cellType;
    int columns;
    int rows;
    std::vector<RowWrite> writes;
};

std::vector<RowWrite> EveryRowInOrder(int rows) {
    std::vector<RowWrite> writes;
    for (int row = 0; row < rows; ++row) writes.push_back({row, static_cast<std::uint32_t>(row)});
    return writes;
}

class WriteOrderTest : public GridTest, public ::testing::WithParamInterface<WriteOrderCase> {};

TEST_P(WriteOrderTest, HoldsEachRowsLastWriteAndNoDataElsewhere) {
    const WriteOrderCase& grid = GetParam();
    std::vector<std::uint32_t> expected(
        static_cast<std::size_t>(grid.columns) * grid.rows,
        grid.cellType == integerCells ? integerNoDataBits : missingFloatBits);
    const int channel =
        CreateGrid("g", grid.cellType, 1, {0, 0, 1.0 * grid.columns, 1.0 * grid.rows});
    for (const RowWrite& write : grid.writes) {
        const std::vector<std::uint32_t> row(static_cast<std::size_t>(grid.columns), write.bits);
        ASSERT_EQ(PutWindowRow(channel, write.row, row.data()), 0);
        std::copy(row.begin(), row.end(), expected.begin() + write.row * grid.columns);
    }
    ASSERT_EQ(CellLyrClose(channel), 0);
    EXPECT_EQ(ReadCells("g"), expected);
    EXPECT_TRUE(std::filesystem::exists("g/cells.hdr"));
}

INSTANTIATE_TEST_SUITE_P(
    Orders, WriteOrderTest,
    ::testing::Values(
        WriteOrderCase{"InOrderAcrossManyBuffers", integerCells, 1001, 700, EveryRowInOrder(700)},
        WriteOrderCase{"Reversed", integerCells, 3, 3, {{2, 7}, {1, 8}, {0, 9}}},
        WriteOrderCase{"GapsAndRewrites", integerCells, 3, 5, {{2, 7}, {0, 8}, {2, 9}}},
        WriteOrderCase{"NothingWritten", floatCells, 3, 2, {}},
        WriteOrderCase{"FloatTailUnwritten", floatCells, 2, 3, {{0, 0x3fc00000u}}},
        WriteOrderCase{"RowsWiderThanTheBuffer", integerCells, 300000, 3, {{2, 5}, {0, 6}}}),
    CaseName());

struct GdalCase {
    const char* what;
    int cellType;
    const char* typeText;
    double noData;
    std::vector<double> cells;  // rows 0 and 2; row 1 is never written
};

std::vector<std::uint32_t> CellBits(int cellType, const std::vector<double>& values) {
    std::vector<std::uint32_t> bits;
    for (const double value : values) {
        bits.push_back(cellType == integerCells
                           ? std::bit_cast<std::uint32_t>(static_cast<std::int32_t>(value))
                           : std::bit_cast<std::uint32_t>(static_cast<float>(value)));
    }
    return bits;
}

std::string Fixed15(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15f", value);
    return text;
}

// An ASCII grid's no-data value, then its cells.
std::vector<double> AsciiGridValues(const std::string& text) {
    std::istringstream words(text);
    std::vector<double> values;
    for (std::string word; words >> word;) {
        const bool headerName = std::isalpha(static_cast<unsigned char>(word[0]));
        if (headerName && word != "NODATA_value") words >> word;
        if (!headerName) values.push_back(std::stod(word));
    }
    return values;
}

class GdalTest : public GridTest, public ::testing::WithParamInterface<GdalCase> {};

TEST_P(GdalTest, OpensTheGridWithItsSizeTypePlaceNoDataAndCells) {
    REQUIRE_GDAL_TOOL(gdalinfo, "gdalinfo");
    REQUIRE_GDAL_TOOL(gdalTranslate, "gdal_translate");
    const GdalCase& grid = GetParam();
    // Only an exact header keeps every digit that %.15f shows of these.
    const double west = 1234567.1, north = 7654321.3, cellSize = 12.3;
    const int channel =
        CreateGrid("g", grid.cellType, cellSize, {west, north - 37, west + 37, north});
    for (const int row : {2, 0}) {
        ASSERT_EQ(PutWindowRow(channel, row, CellBits(grid.cellType, grid.cells).data()), 0);
    }
    ASSERT_EQ(CellLyrClose(channel), 0);

    const ProcessResult info = RunProcess({gdalinfo, "g/cells.raw"}, {}, scratch.Path());
    const std::string printed = info.standardOutput + info.standardError;
    EXPECT_EQ(info.exitStatus, 0);
    for (const std::string& expected :
         {std::string("Size is 3, 3"), "Origin = (" + Fixed15(west) + "," + Fixed15(north) + ")",
          "Pixel Size = (" + Fixed15(cellSize) + "," + Fixed15(-cellSize) + ")",
          "Type=" + std::string(grid.typeText)}) {
        EXPECT_NE(printed.find(expected), std::string::npos) << expected << " in\n" << printed;
    }
    for (const char* complaint : {"Warning", "ERROR"}) {
        EXPECT_EQ(printed.find(complaint), std::string::npos) << printed;
    }

    const ProcessResult ascii = RunProcess(
        {gdalTranslate, "-q", "-of", "AAIGrid", "g/cells.raw", "g.asc"}, {}, scratch.Path());
    ASSERT_EQ(ascii.exitStatus, 0) << ascii.standardError;
    std::vector<double> expected{grid.noData};
    expected.insert(expected.end(), grid.cells.begin(), grid.cells.end());
    expected.insert(expected.end(), 3, grid.noData);
    expected.insert(expected.end(), grid.cells.begin(), grid.cells.end());
    EXPECT_EQ(AsciiGridValues(ReadFile(scratch / "g.asc")), expected);
}

INSTANTIATE_TEST_SUITE_P(
    CellTypes, GdalTest,
    ::testing::Values(
        GdalCase{"Integer", integerCells, "Int32", -2147483647.0, {-2147483648.0, 0, 2147483647}},
        GdalCase{"Float",
                 floatCells,
                 "Float32",
                 std::numeric_limits<float>::lowest(),
                 {1.5, -2.25, 0x1p100}}),
    CaseName());

TEST_F(GridTest, KeepsSeveralGridsOpenAndFinishesThoseLeftOpenAtExit) {
    float missing = 0;
    GetMissingFloat(&missing);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(missing), missingFloatBits);

    const int first = CreateGrid("a", integerCells, 1, {0, 0, 2, 2});
    const int second = CreateGrid("b", floatCells, 1, {0, 0, 2, 2});
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    const std::uint32_t ones[] = {1, 1}, twos[] = {2, 2};
    for (const int row : {0, 1}) {
        ASSERT_EQ(PutWindowRow(second, row, twos), 0);
        ASSERT_EQ(PutWindowRow(first, row, ones), 0);
    }
    EXPECT_EQ(CellLyrClose(first), 0);
    EXPECT_EQ(CreateGrid("c", integerCells, 1, {0, 0, 1, 1}), first);
    GridIOExit();
    EXPECT_EQ(ReadCells("a"), std::vector<std::uint32_t>(4, 1));
    EXPECT_EQ(ReadCells("b"), std::vector<std::uint32_t>(4, 2));
    EXPECT_EQ(ReadCells("c"), std::vector<std::uint32_t>{integerNoDataBits});
    EXPECT_TRUE(std::filesystem::exists("c/cells.hdr"));
}

}  // namespace
