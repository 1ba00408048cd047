// Reads every row of a fuzzed image in each readable layout and holds rows,
// failures and converted cells against a plain decoding of the whole file.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "image/byte_source.h"
#include "image/cell_conversion.h"
#include "image/image_data.h"

namespace {

using Bytes = std::span<const std::byte>;

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// The leading bytes are the case's parameters; missing ones read as zero.
template <typename Value>
Value Take(Bytes& input) {
    std::byte raw[sizeof(Value)] = {};
    const std::size_t count = std::min(input.size(), sizeof raw);
    std::copy_n(input.begin(), count, raw);
    input = input.subspan(count);
    return std::bit_cast<Value>(raw);
}

// Flags that cells match often enough to matter, beside arbitrary doubles.
double TakeFlag(Bytes& input) {
    const auto mode = Take<std::uint8_t>(input) % 4;
    const auto raw = Take<std::uint64_t>(input);
    const auto whole = static_cast<std::int16_t>(raw);
    // Byte cells and the edges of their range, beside 16-bit ones.
    if (mode == 0) return raw >> 63 ? static_cast<double>(raw & 0x1ff) - 128 : whole;
    if (mode == 1) return whole + static_cast<double>(raw >> 16 & 0xff) / 256;
    // Near a float, where rounding to single precision decides.
    const double real = std::bit_cast<float>(static_cast<std::uint32_t>(raw));
    if (mode == 2) return raw >> 63 ? real + real * static_cast<double>(raw >> 32 & 0xff) * 0x1p-40 : real;
    return std::bit_cast<double>(raw);
}

// The whole cell stream, capped at the image's size, and why it stops short.
struct Reference {
    std::vector<std::byte> cells;
    RowReadOutcome stop = RowReadOutcome::ShortFile;
    std::int32_t value = 0;  // packed: pairs of the last chunk, or the bad count
};

// Chunks hold an even number of elements, so pairs never straddle one and
// the packed file is one plain sequence of (count, value) pairs.
Reference Decode(const ImageHeader& header, Bytes data) {
    const std::size_t width = ElementSize(header.dataType);
    const std::size_t limit = std::size_t(header.columns) * std::size_t(header.rows) * width;
    if (header.fileType == FileType::Binary)
        return {{data.begin(), data.begin() + std::min(data.size() / width * width, limit)}};
    Reference image;
    image.value = static_cast<std::int32_t>(data.size() / width % packedChunkElements / 2);
    for (; data.size() >= 2 * width && image.cells.size() < limit; data = data.subspan(2 * width)) {
        std::int32_t count = std::to_integer<std::uint8_t>(data[0]);
        if (width == 2) count = std::int16_t(count | std::to_integer<int>(data[1]) << 8);
        if (count < 0) return {image.cells, RowReadOutcome::InvalidRunLength, count};
        for (; count > 0 && image.cells.size() < limit; --count)
            image.cells.insert(image.cells.end(), &data[width], &data[width] + width);
    }
    return image;
}

// Integer cells are flagged by a whole flag value within the cell width's
// signed and unsigned range, compared by its low bits; real cells by a flag
// equal to them as a double or rounded to a finite float (zero only from a
// zero flag), and NaN cells by any flag.
std::uint32_t ConvertedCell(const ImageHeader& header, float missing, const std::byte* cell) {
    const bool hasFlag = header.hasFlagValue;
    const double flag = header.flagValue;
    std::uint32_t bits = 0;
    std::memcpy(&bits, cell, ElementSize(header.dataType));
    if (header.dataType == DataType::Real) {
        const auto real = std::bit_cast<float>(bits);
        const auto rounded = static_cast<float>(flag);
        const bool roundedMatches = std::isfinite(rounded) && (rounded != 0 || flag == 0) && real == rounded;
        const bool flagged = hasFlag && (std::isnan(real) || double{real} == flag || roundedMatches);
        return flagged ? std::bit_cast<std::uint32_t>(missing) : bits;
    }
    const bool isByte = header.dataType == DataType::Byte;
    const double lowest = isByte ? -128 : -32768, highest = isByte ? 255 : 65535;
    const bool usable = flag >= lowest && flag <= highest && flag == std::trunc(flag);
    const std::uint32_t mask = isByte ? 0xff : 0xffff;
    if (hasFlag && usable && ((bits ^ std::uint32_t(std::int32_t(flag))) & mask) == 0)
        return std::uint32_t(integerNoData);
    return isByte ? bits : std::uint32_t(std::int32_t{std::int16_t(bits)});
}

// Converts a row without and with its flag, cell by cell against the reference.
void CheckConversions(ImageHeader header, float missing, const std::byte* cells) {
    std::vector<std::uint32_t> grid(std::size_t(header.columns)), expected(grid.size());
    for (const bool hasFlag : {false, true}) {
        header.hasFlagValue = hasFlag;
        std::fill(grid.begin(), grid.end(), 0xA5A5A5A5);
        ConvertRow(PrepareCellConversion(header, missing), cells, reinterpret_cast<std::byte*>(grid.data()));
        for (std::size_t column = 0; column < grid.size(); ++column)
            expected[column] = ConvertedCell(header, missing, cells + column * ElementSize(header.dataType));
        Require(grid == expected, "grid cells differ from the reference");
    }
}

// The row the reference runs out in: the reader fails it the same way,
// with the whole cells of the row (binary) or the last chunk's pairs.
void CheckFailure(const RowRead& read, const Reference& image, const ImageHeader& header, std::int64_t rowStart) {
    const std::int64_t cellsRead = std::int64_t(image.cells.size() / ElementSize(header.dataType));
    Require(read.outcome == image.stop && read.rowStartIndex == rowStart, "failure outcome or row differs");
    Require(read.value == (header.fileType == FileType::Binary ? cellsRead - rowStart : image.value),
            "failure value differs");
    ReportRowReadFailure(read, header.columns);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Packed real images are refused before any row is read.
    constexpr std::pair<DataType, FileType> layouts[] = {
        {DataType::Byte, FileType::Binary}, {DataType::Integer, FileType::Binary}, {DataType::Real, FileType::Binary},
        {DataType::Byte, FileType::PackedBinary}, {DataType::Integer, FileType::PackedBinary}};
    Bytes input = std::as_bytes(std::span(data, size));
    ImageHeader header;
    const auto [dataType, fileType] = layouts[Take<std::uint8_t>(input) % std::size(layouts)];
    header.dataType = dataType;
    header.fileType = fileType;
    header.columns = 1 + Take<std::uint16_t>(input) % 300;
    header.rows = 1 + Take<std::uint16_t>(input) % 300;
    header.flagValue = TakeFlag(input);
    const auto missing = Take<float>(input);

    const Reference image = Decode(header, input);
    const std::size_t rowBytes = std::size_t(header.columns) * ElementSize(header.dataType);
    MemoryByteSource source(input);
    PackedRunDecoder decoder;
    std::vector<std::byte> row(rowBytes);
    for (std::int32_t index = 0; index < header.rows; ++index) {
        // A cell the reader forgets to write shows up as this pattern.
        std::memset(row.data(), 0xA5 ^ index, row.size());
        const RowRead read = ReadImageRow(source, header, index, row.data(), decoder);
        if ((index + 1) * rowBytes > image.cells.size()) {
            CheckFailure(read, image, header, std::int64_t{index} * header.columns);
            return 0;
        }
        Require(read.outcome == RowReadOutcome::Complete, "row outcome differs");
        Require(std::memcmp(row.data(), &image.cells[index * rowBytes], rowBytes) == 0,
                "row cells differ");
        CheckConversions(header, missing, row.data());
    }
    return 0;
}
