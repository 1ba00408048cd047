// A packed byte image of more than 2^31 cells: 65,537 rows of 32,768 cells,
// made of runs of 255 cells that the source makes up as it is read.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "image/image_data.h"

namespace {

constexpr std::int32_t columns = 32768;
constexpr std::int32_t rows = 65537;
constexpr std::int64_t cells = std::int64_t{columns} * rows;
constexpr std::int64_t runLength = 255;
constexpr std::int64_t runsNeeded = (cells + runLength - 1) / runLength;

std::uint8_t RunValue(std::int64_t run) { return static_cast<std::uint8_t>(run % 251); }

class GeneratedRuns final : public ByteSource {
public:
    explicit GeneratedRuns(std::int64_t runs) : elementsLeft(2 * runs) {}

    std::size_t ReadElements(void* into, std::size_t, std::size_t count) override {
        const auto made = static_cast<std::size_t>(std::min<std::int64_t>(count, elementsLeft));
        auto* bytes = static_cast<std::uint8_t*>(into);
        for (std::size_t at = 0; at < made; ++at, ++element)
            bytes[at] = element % 2 == 0 ? runLength : RunValue(element / 2);
        elementsLeft -= static_cast<std::int64_t>(made);
        return made;
    }

private:
    std::int64_t elementsLeft;
    std::int64_t element = 0;
};

ImageHeader LargeImage() {
    ImageHeader header;
    header.dataType = DataType::Byte;
    header.fileType = FileType::PackedBinary;
    header.columns = columns;
    header.rows = rows;
    return header;
}

TEST(LargeImage, LastRowsBeyondTwoToThe31CellsAreRight) {
    GeneratedRuns source(runsNeeded);
    const ImageHeader header = LargeImage();
    PackedRunDecoder decoder;
    std::vector<std::byte> row(columns);
    for (std::int32_t index = 0; index < rows; ++index) {
        ASSERT_EQ(ReadImageRow(source, header, index, row.data(), decoder).outcome, RowReadOutcome::Complete)
            << "row " << index;
        if (index < rows - 2) continue;
        const std::int64_t rowStart = std::int64_t{index} * columns;
        for (std::int32_t column = 0; column < columns; ++column)
            ASSERT_EQ(std::to_integer<int>(row[column]), RunValue((rowStart + column) / runLength))
                << "row " << index << " column " << column;
    }
}

TEST(LargeImage, ShortFileReportsTheRowStartInSixtyFourBits) {
    GeneratedRuns source(runsNeeded - 1);
    const ImageHeader header = LargeImage();
    PackedRunDecoder decoder;
    std::vector<std::byte> row(columns);
    RowRead read;
    for (std::int32_t index = 0; index < rows && read.outcome == RowReadOutcome::Complete; ++index)
        read = ReadImageRow(source, header, index, row.data(), decoder);
    EXPECT_EQ(read.outcome, RowReadOutcome::ShortFile);
    EXPECT_EQ(read.rowStartIndex, 2147483648LL);
}

}  // namespace
