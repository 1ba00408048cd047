// A packed byte image of more than 2^31 cells, 65,537 rows of 32,768, made
// of runs of 255 cells.
#include <gtest/gtest.h>

#include <vector>

#include "image/image_data.h"

namespace {

constexpr std::int32_t columns = 32768;
constexpr std::int32_t rows = 65537;
constexpr std::int64_t runsNeeded = (std::int64_t{columns} * rows + 254) / 255;

std::uint8_t RunValue(std::int64_t run) { return static_cast<std::uint8_t>(run % 251); }

// With one run too few, the last row, which starts at cell 2^31, falls short.
TEST(LargeImage, RowsPastTwoToThe31CellsAreReadAndReportedWhole) {
    ImageHeader header;
    header.dataType = DataType::Byte;
    header.fileType = FileType::PackedBinary;
    header.columns = columns;
    header.rows = rows;
    std::vector<std::byte> file(2 * runsNeeded, std::byte{255});
    for (std::int64_t run = 0; run < runsNeeded; ++run) file[2 * run + 1] = std::byte{RunValue(run)};
    for (const std::int64_t runs : {runsNeeded, runsNeeded - 1}) {
        MemoryByteSource source(std::span<const std::byte>(file).first(2 * runs));
        PackedRunDecoder decoder;
        std::vector<std::byte> row(columns);
        RowRead read;
        for (std::int32_t index = 0; index < rows && read.outcome == RowReadOutcome::Complete; ++index)
            read = ReadImageRow(source, header, index, row.data(), decoder);
        EXPECT_EQ(read.outcome, runs < runsNeeded ? RowReadOutcome::ShortFile : RowReadOutcome::Complete);
        EXPECT_EQ(read.rowStartIndex, runs < runsNeeded ? 2147483648LL : 0);
        for (std::int32_t column = 0; column < columns && runs == runsNeeded; ++column)
            ASSERT_EQ(std::to_integer<int>(row[column]), RunValue((std::int64_t{rows - 1} * columns + column) / 255))
                << column;
    }
}

}  // namespace
