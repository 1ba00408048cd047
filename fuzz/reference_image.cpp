#include "reference_image.h"

#include <algorithm>
#include <cstring>

namespace {

std::int32_t ReadCount(std::span<const std::byte> element) {
    if (element.size() == 1) return std::to_integer<std::uint8_t>(element[0]);
    std::int16_t count;
    std::memcpy(&count, element.data(), sizeof count);
    return count;
}

void ExpandBinary(std::span<const std::byte> data, std::size_t width, std::size_t imageCells,
                  ReferenceImage& image) {
    image.wholeCells = static_cast<std::int64_t>(data.size() / width);
    const std::size_t kept = std::min(data.size() / width, imageCells) * width;
    image.cells.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(kept));
}

// Pairs of (count, value) never straddle a chunk, since a chunk holds an
// even number of elements; so the file is one plain sequence of pairs.
void ExpandPacked(std::span<const std::byte> data, std::size_t width, std::size_t imageCells,
                  ReferenceImage& image) {
    const std::size_t elements = data.size() / width;
    const std::size_t pairs = elements / 2;
    image.stopValue = static_cast<std::int32_t>((elements % packedChunkElements) / 2);
    for (std::size_t pair = 0; pair < pairs; ++pair) {
        const auto count = ReadCount(data.subspan(2 * pair * width, width));
        const auto value = data.subspan((2 * pair + 1) * width, width);
        if (count < 0) {
            image.stop = RowReadOutcome::InvalidRunLength;
            image.stopValue = count;
            return;
        }
        for (std::int32_t cell = 0; cell < count; ++cell) {
            if (image.cells.size() >= imageCells * width) return;
            image.cells.insert(image.cells.end(), value.begin(), value.end());
        }
    }
}

}  // namespace

ReferenceImage ExpandImage(const ImageHeader& header, std::span<const std::byte> data) {
    ReferenceImage image;
    const std::size_t width = ElementSize(header.dataType);
    const auto imageCells = static_cast<std::size_t>(header.columns) * static_cast<std::size_t>(header.rows);
    if (header.fileType == FileType::Binary) ExpandBinary(data, width, imageCells, image);
    if (header.fileType == FileType::PackedBinary) ExpandPacked(data, width, imageCells, image);
    return image;
}

ReferenceRow ExpectRow(const ReferenceImage& image, const ImageHeader& header, std::int32_t row) {
    const std::size_t width = ElementSize(header.dataType);
    const std::int64_t rowStart = std::int64_t{row} * header.columns;
    const std::int64_t cellsInStream = static_cast<std::int64_t>(image.cells.size() / width);
    ReferenceRow expected;
    expected.read.rowStartIndex = rowStart;
    if (rowStart + header.columns <= cellsInStream) {
        expected.cells = image.cells.data() + static_cast<std::size_t>(rowStart) * width;
        return expected;
    }
    expected.read.outcome = image.stop;
    if (header.fileType == FileType::Binary)
        expected.read.value = static_cast<std::int32_t>(std::max<std::int64_t>(0, image.wholeCells - rowStart));
    else
        expected.read.value = image.stopValue;
    return expected;
}
