// Whole images through cellport and the project's own grid library, read
// back with GDAL: every cell, the cell type, the geotransform and no-data.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <vector>

#include "support/case_name.h"
#include "support/gdal_tools.h"
#include "support/run_process.h"
#include "support/scratch_folder.h"
#include "tools/image_writer.h"

namespace {

constexpr int columns = 7;
constexpr int rows = 5;
constexpr std::uint32_t integerNoDataBits = 0x80000001;
const std::uint32_t missingFloatBits = std::bit_cast<std::uint32_t>(std::numeric_limits<float>::lowest());

struct EndToEndCase {
    const char* what;
    ImageCellType cellType;
    Layout layout;
    std::optional<double> flagValue;
};

const EndToEndCase endToEndCases[] = {
    {"byte binary", ImageCellType::Byte, Layout::Binary, std::nullopt},
    {"byte packed with flag", ImageCellType::Byte, Layout::Packed, 74},
    {"integer binary with flag", ImageCellType::Integer, Layout::Binary, -99},
    {"integer packed", ImageCellType::Integer, Layout::Packed, std::nullopt},
    {"real binary with flag", ImageCellType::Real, Layout::Binary, -9999},
};

// Runs of four cells, so that the packed layout has runs across row ends;
// every fifth run holds the flag value where there is one.
std::vector<double> Cells(const EndToEndCase& image) {
    std::vector<double> cells;
    for (int cell = 0; cell < columns * rows; ++cell) {
        const int run = cell / 4;
        if (image.flagValue && run % 5 == 2) {
            cells.push_back(*image.flagValue);
        } else if (image.cellType == ImageCellType::Byte) {
            cells.push_back(run * 37 % 256);
        } else if (image.cellType == ImageCellType::Integer) {
            cells.push_back(run * 4099 % 65536 - 32768);
        } else {
            cells.push_back(run * 0.37 - 2);
        }
    }
    return cells;
}

std::vector<std::uint32_t> ExpectedGridBits(const EndToEndCase& image, const std::vector<double>& cells) {
    std::vector<std::uint32_t> bits;
    for (double cell : cells) {
        const bool flagged = image.flagValue && cell == *image.flagValue;
        if (image.cellType == ImageCellType::Real)
            bits.push_back(flagged ? missingFloatBits : std::bit_cast<std::uint32_t>(static_cast<float>(cell)));
        else
            bits.push_back(flagged ? integerNoDataBits : static_cast<std::uint32_t>(static_cast<std::int32_t>(cell)));
    }
    return bits;
}

std::vector<std::uint32_t> AsBits(const std::string& bytes) {
    std::vector<std::uint32_t> bits(bytes.size() / 4);
    std::memcpy(bits.data(), bytes.data(), bits.size() * 4);
    return bits;
}

class EndToEnd : public testing::TestWithParam<EndToEndCase> {
protected:
    ProcessResult Convert(const std::string& image, const std::string& grid) {
        return RunProcess({CELLPORT_PROGRAM, image, grid}, {}, scratch.Path());
    }
    std::set<std::string> Listing(const std::string& folder) {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(scratch / folder))
            names.insert(entry.path().filename().string());
        return names;
    }
    ScratchFolder scratch;
};

TEST_P(EndToEnd, GdalReadsTheImageCells) {
    REQUIRE_GDAL_TOOL(gdalinfo, "gdalinfo");
    REQUIRE_GDAL_TOOL(gdalTranslate, "gdal_translate");
    const EndToEndCase& image = GetParam();
    ImageDescription description;
    description.cellType = image.cellType;
    description.layout = image.layout;
    description.columns = columns;
    description.rows = rows;
    description.minX = 100;
    description.minY = 200;
    description.cellSize = 0.5;
    description.flagValue = image.flagValue;
    const std::vector<double> cells = Cells(image);
    ASSERT_EQ(WriteImage((scratch / "image").string(), description, cells), WriteStatus::Written);

    const ProcessResult run = Convert("image", "grid");
    ASSERT_EQ(run.exitStatus, 0) << run.standardOutput;
    EXPECT_EQ(run.standardOutput + run.standardError, "");
    EXPECT_EQ(Listing("grid"), (std::set<std::string>{"cells.hdr", "cells.raw"}));

    const ProcessResult info = RunProcess({gdalinfo, "grid/cells.raw"}, {}, scratch.Path());
    ASSERT_EQ(info.exitStatus, 0);
    EXPECT_EQ(info.standardError, "");
    const bool real = image.cellType == ImageCellType::Real;
    for (const char* expected :
         {"Driver: ENVI/", "Size is 7, 5", "Origin = (100.000000000000000,202.500000000000000)",
          "Pixel Size = (0.500000000000000,-0.500000000000000)", real ? "Type=Float32" : "Type=Int32",
          real ? "NoData Value=-3.4028235e+38" : "NoData Value=-2147483647"})
        EXPECT_NE(info.standardOutput.find(expected), std::string::npos) << expected << "\n" << info.standardOutput;
    EXPECT_EQ(info.standardOutput.find("Warning"), std::string::npos);

    // GDAL's own copy of the cells, in the grid's cell type.
    const ProcessResult copy =
        RunProcess({gdalTranslate, "-q", "-of", "ENVI", "grid/cells.raw", "copy.raw"}, {}, scratch.Path());
    ASSERT_EQ(copy.exitStatus, 0) << copy.standardError;
    EXPECT_EQ(AsBits(ReadFile(scratch / "copy.raw")), ExpectedGridBits(image, cells));
}

INSTANTIATE_TEST_SUITE_P(Layouts, EndToEnd, testing::ValuesIn(endToEndCases), CaseName());

TEST_F(EndToEnd, FailedRunLeavesNothingAndExistingGridIsKept) {
    WriteFile(scratch / "image.doc",
              "data type : byte\nfile type : binary\ncolumns : 2\nrows : 2\n"
              "min. X : 0\nmax. X : 2\nmin. Y : 0\nmax. Y : 2\n");
    WriteFile(scratch / "image.img", "abc");
    EXPECT_EQ(Convert("image", "grid").standardOutput, "Could not read 2 bytes at 2\nf_read = '1'\n");
    EXPECT_FALSE(std::filesystem::exists(scratch / "grid"));

    WriteFile(scratch / "image.img", "abcd");
    ASSERT_EQ(Convert("image", "grid").exitStatus, 0);
    const std::string cells = ReadFile(scratch / "grid" / "cells.raw");
    const ProcessResult again = Convert("image", "grid");
    EXPECT_EQ(again.exitStatus, 1);
    EXPECT_EQ(again.standardOutput, "Output grid already exists\n");
    EXPECT_EQ(ReadFile(scratch / "grid" / "cells.raw"), cells);
    EXPECT_EQ(Listing("grid"), (std::set<std::string>{"cells.hdr", "cells.raw"}));
}

}  // namespace
