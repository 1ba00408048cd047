// A packed byte image of more than 2^31 cells, 65,537 rows of 32,768, made
// of runs of 255 cells that the source makes up as it is read.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "image/image_data.h"

namespace {

constexpr std::int32_t columns = 32768;
constexpr std::int32_t rows = 65537;
constexpr std::int64_t runsNeeded = (std::int64_t{columns} * rows + 254) / 255;

std::uint8_t RunValue(std::int64_t run) { return static_cast<std::uint8_t>(run % 251); }

class GeneratedRuns final : public ByteSource {
public:
    explicit GeneratedRuns(std::int64_t runs) : end(2 * runs) {}
    std::size_t ReadElements(void* into, std::size_t, std::size_t count) override {
        const auto made = static_cast<std::size_t>(std::min<std::int64_t>(count, end - element));
        for (std::size_t at = 0; at < made; ++at, ++element)
            static_cast<std::uint8_t*>(into)[at] = element % 2 == 0 ? 255 : RunValue(element / 2);
        return made;
    }

private:
    std::int64_t end;
    std::int64_t element = 0;
};

// With one run too few, the last row, which starts at cell 2^31, falls short.
TEST(LargeImage, RowsPastTwoToThe31CellsAreReadAndReportedWhole) {
    ImageHeader header;
    header.dataType = DataType::Byte;
    header.fileType = FileType::PackedBinary;
    header.columns = columns;
    header.rows = rows;
    for (const std::int64_t runs : {runsNeeded, runsNeeded - 1}) {
        GeneratedRuns source(runs);
        PackedRunDecoder decoder;
        std::vector<std::byte> row(columns);
        RowRead read;
        std::int32_t index = 0;
        for (; index < rows && read.outcome == RowReadOutcome::Complete; ++index)
            read = ReadImageRow(source, header, index, row.data(), decoder);
        if (runs < runsNeeded) {
            EXPECT_EQ(read.outcome, RowReadOutcome::ShortFile);
            EXPECT_EQ(read.rowStartIndex, 2147483648LL);
            continue;
        }
        ASSERT_EQ(read.outcome, RowReadOutcome::Complete);
        for (std::int32_t column = 0; column < columns; ++column)
            ASSERT_EQ(std::to_integer<int>(row[column]), RunValue((std::int64_t{rows - 1} * columns + column) / 255)) << column;
    }
}

}  // namespace
