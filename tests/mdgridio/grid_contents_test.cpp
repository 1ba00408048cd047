#include <bit>
#include <cstdio>
#include <filesystem>
#include <string>

#include "grid_test_support.h"
#include "mdgridio/mdgridio.h"
#include "support/case_name.h"
#include "support/gdal_tools.h"
#include "support/run_process.h"

namespace {

struct ContentsCase {
    const char* what;
    int cellType;
    int columns;
    int rows;
    std::vector<std::pair<int, std::uint32_t>> writes;  // row, and every cell's bits
};

std::string Fixed15(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15f", value);
    return text;
}

class GridContents : public GridTest, public ::testing::WithParamInterface<ContentsCase> {
protected:
    // Only an exact header keeps every digit that %.15f shows of these.
    const double west = 1234567.1, north = 7654321.3, cellSize = 12.3;

    // Writes the case's rows, closes the grid and gives the cells it must hold.
    std::vector<std::uint32_t> WriteGrid() {
        const auto& [what, cellType, columns, rows, writes] = GetParam();
        std::vector<std::uint32_t> expected(static_cast<std::size_t>(columns) * rows,
                                            cellType == floatCells ? missingFloatBits
                                                                   : integerNoDataBits);
        // The box is rounded to whole cells from its north-west corner.
        const int channel = CreateGrid("g", cellType, cellSize,
                                       {west, north - (rows + 0.3) * cellSize,
                                        west + (columns + 0.3) * cellSize, north});
        for (const auto& [row, bits] : writes) {
            const std::vector<std::uint32_t> cells(static_cast<std::size_t>(columns), bits);
            EXPECT_EQ(PutWindowRow(channel, row, cells.data()), 0);
            std::copy(cells.begin(), cells.end(), expected.begin() + row * columns);
        }
        // Refused writes leave the grid as it was.
        EXPECT_LT(PutWindowRow(channel + 1, 0, expected.data()), 0);
        EXPECT_LT(PutWindowRow(channel, -1, expected.data()), 0);
        EXPECT_LT(PutWindowRow(channel, rows, expected.data()), 0);
        EXPECT_LT(PutWindowRow(channel, 0, nullptr), 0);
        EXPECT_EQ(CellLyrClose(channel), 0);
        EXPECT_LT(CellLyrClose(channel), 0);
        return expected;
    }
};

class WriteOrderTest : public GridContents {};

TEST_P(WriteOrderTest, HoldsEachRowsLastWriteAndNoDataElsewhere) {
    const std::vector<std::uint32_t> expected = WriteGrid();
    EXPECT_EQ(ReadCells("g"), expected);
}

class GdalTest : public GridContents {};

TEST_P(GdalTest, OpensTheGridWithItsSizeTypePlaceNoDataAndCells) {
    REQUIRE_GDAL_TOOL(gdalinfo, "gdalinfo");
    REQUIRE_GDAL_TOOL(gdalTranslate, "gdal_translate");
    const bool isFloat = GetParam().cellType == floatCells;
    const std::vector<std::uint32_t> expected = WriteGrid();
    const ProcessResult info = RunProcess({gdalinfo, "g/cells.raw"}, {}, scratch.Path());
    const std::string printed = info.standardOutput + info.standardError;
    EXPECT_EQ(info.exitStatus, 0);
    for (const std::string& shown :
         {"Size is " + std::to_string(GetParam().columns) + ", " + std::to_string(GetParam().rows),
          "Origin = (" + Fixed15(west) + "," + Fixed15(north) + ")",
          "Pixel Size = (" + Fixed15(cellSize) + "," + Fixed15(-cellSize) + ")",
          std::string(isFloat ? "Type=Float32" : "Type=Int32")}) {
        EXPECT_NE(printed.find(shown), std::string::npos) << shown << " in\n" << printed;
    }
    for (const char* complaint : {"Warning", "ERROR"})
        EXPECT_EQ(printed.find(complaint), std::string::npos) << printed;
    const std::size_t noDataAt = printed.find("NoData Value=");
    ASSERT_NE(noDataAt, std::string::npos) << printed;
    const double noData = std::stod(printed.substr(noDataAt + 13));  // floats: to float precision
    EXPECT_EQ(isFloat ? static_cast<float>(noData) : noData,
              isFloat ? std::bit_cast<float>(missingFloatBits) : -2147483647.0);

    // GDAL's copy holds the cells as it decoded them.
    std::filesystem::create_directory("copy");
    const ProcessResult copy = RunProcess(
        {gdalTranslate, "-q", "-of", "ENVI", "g/cells.raw", "copy/cells.raw"}, {}, scratch.Path());
    ASSERT_EQ(copy.exitStatus, 0) << copy.standardError;
    EXPECT_EQ(ReadCells("copy"), expected);
}

const ContentsCase contentsCases[] = {
    {"IntegerGapsRewritesAndTail", integerCells, 3, 5,
     {{2, 7}, {0, 0x80000000u}, {3, 0x7fffffffu}, {2, 9}}},
    // -2.25 and 1.5; rows 2 and 3 are filled when the grid is closed.
    {"FloatTail", floatCells, 2, 4, {{1, 0xc0100000u}, {0, 0x3fc00000u}}},
    // Rows of 1.2 MB: buffer ends fall inside rows, and the fill spans buffers.
    {"RowsWiderThanTheBuffer", integerCells, 300000, 3, {{2, 5}, {0, 6}}},
};

INSTANTIATE_TEST_SUITE_P(Orders, WriteOrderTest, ::testing::ValuesIn(contentsCases), CaseName());
INSTANTIATE_TEST_SUITE_P(CellTypes, GdalTest, ::testing::ValuesIn(contentsCases), CaseName());

}  // namespace
