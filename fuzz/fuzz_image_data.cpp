// Reads every row of a fuzzed image in each readable layout and holds rows,
// failures and converted cells against a plain decoding of the whole file.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

#include "image/byte_source.h"
#include "image/cell_conversion.h"
#include "image/image_data.h"

namespace {

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// The leading bytes are the case's parameters; missing ones read as zero.
struct Input {
    std::span<const std::byte> rest;

    template <typename Value>
    Value Take() {
        unsigned char raw[sizeof(Value)] = {};
        const std::size_t count = std::min(rest.size(), sizeof raw);
        if (count > 0) std::memcpy(raw, rest.data(), count);
        rest = rest.subspan(count);
        return std::bit_cast<Value>(raw);
    }
};

// Flags that cells match often enough to matter, beside arbitrary doubles.
double TakeFlag(Input& input) {
    const auto mode = input.Take<std::uint8_t>() % 4;
    const auto raw = input.Take<std::uint64_t>();
    if (mode == 0) return static_cast<std::int16_t>(raw);
    if (mode == 1)
        return static_cast<std::int16_t>(raw) + static_cast<double>(raw >> 16 & 0xff) / 256;
    if (mode == 2) return std::bit_cast<float>(static_cast<std::uint32_t>(raw));
    return std::bit_cast<double>(raw);
}

// The whole cell stream, capped at the image's size, and why it stops short.
struct Expanded {
    std::vector<std::byte> cells;
    RowReadOutcome stop = RowReadOutcome::ShortFile;
    std::int32_t value = 0;  // packed: pairs of the last chunk, or the bad count
};

// Chunks hold an even number of elements, so pairs never straddle one and
// the packed file is one plain sequence of (count, value) pairs.
Expanded Expand(const ImageHeader& header, std::span<const std::byte> data) {
    const std::size_t width = ElementSize(header.dataType);
    const std::size_t limit = std::size_t(header.columns) * std::size_t(header.rows) * width;
    const auto end = [&](std::size_t bytes) { return data.begin() + std::ptrdiff_t(bytes); };
    Expanded image;
    if (header.fileType == FileType::Binary) {
        image.cells.assign(data.begin(), end(std::min(data.size() / width * width, limit)));
        return image;
    }
    image.value = static_cast<std::int32_t>(data.size() / width % packedChunkElements / 2);
    for (std::size_t at = 0; at + 2 * width <= data.size() && image.cells.size() < limit;
         at += 2 * width) {
        std::int32_t count = std::to_integer<std::uint8_t>(data[at]);
        if (width == 2)
            count = static_cast<std::int16_t>(count | std::to_integer<int>(data[at + 1]) << 8);
        if (count < 0) {
            image.stop = RowReadOutcome::InvalidRunLength;
            image.value = count;
            break;
        }
        for (; count > 0 && image.cells.size() < limit; --count)
            image.cells.insert(image.cells.end(), end(at + width), end(at + 2 * width));
    }
    return image;
}

// Integer cells are flagged when their low bits equal the truncated flag's
// (all zero beyond the 64-bit range); real cells when equal to it or NaN.
void CheckConversion(const ImageHeader& header, float missing, const std::byte* cells) {
    std::vector<std::uint32_t> grid(std::size_t(header.columns));
    ConvertRow(PrepareCellConversion(header, missing), cells,
               reinterpret_cast<std::byte*>(grid.data()));
    const bool hasFlag = header.hasFlagValue;
    const double flag = header.flagValue, truncated = std::trunc(flag);
    const auto flagBits = std::fabs(truncated) < 0x1p63
                              ? static_cast<std::uint32_t>(static_cast<std::int64_t>(truncated))
                              : 0u;
    for (std::size_t column = 0; column < grid.size(); ++column) {
        std::uint32_t expected;
        if (header.dataType == DataType::Real) {
            std::memcpy(&expected, cells + 4 * column, 4);
            const auto cell = std::bit_cast<float>(expected);
            if (hasFlag && (std::isnan(cell) || double{cell} == flag))
                expected = std::bit_cast<std::uint32_t>(missing);
        } else {
            const bool bytes = header.dataType == DataType::Byte;
            std::int16_t cell = std::to_integer<std::uint8_t>(cells[column]);
            if (!bytes) std::memcpy(&cell, cells + 2 * column, 2);
            const std::uint32_t mask = bytes ? 0xff : 0xffff;
            expected = hasFlag && ((std::uint32_t(cell) ^ flagBits) & mask) == 0
                           ? std::uint32_t(integerNoData) : std::uint32_t(std::int32_t{cell});
        }
        Require(grid[column] == expected, "grid cell differs from the reference");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Failure messages go to stdout; keep libFuzzer's own output legible.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Packed real images are refused before any row is read.
    constexpr std::array<std::pair<DataType, FileType>, 5> layouts{{
        {DataType::Byte, FileType::Binary},       {DataType::Integer, FileType::Binary},
        {DataType::Real, FileType::Binary},       {DataType::Byte, FileType::PackedBinary},
        {DataType::Integer, FileType::PackedBinary},
    }};
    Input input{std::as_bytes(std::span(data, size))};
    ImageHeader header;
    const auto layout = input.Take<std::uint8_t>() % layouts.size();
    std::tie(header.dataType, header.fileType) = layouts[layout];
    header.columns = 1 + input.Take<std::uint16_t>() % 300;
    header.rows = 1 + input.Take<std::uint16_t>() % 300;
    const double flag = TakeFlag(input);
    const auto missing = input.Take<float>();
    ImageHeader flagged = header;
    flagged.hasFlagValue = true;
    flagged.flagValue = flag;

    const Expanded image = Expand(header, input.rest);
    const std::size_t width = ElementSize(header.dataType);
    const std::size_t rowBytes = std::size_t(header.columns) * width;
    MemoryByteSource source(input.rest);
    PackedRunDecoder decoder;
    std::vector<std::byte> row(rowBytes);
    for (std::int32_t index = 0; index < header.rows; ++index) {
        // A cell the reader forgets to write shows up as this pattern.
        std::memset(row.data(), 0xA5 ^ index, row.size());
        const RowRead read = ReadImageRow(source, header, index, row.data(), decoder);
        const std::int64_t rowStart = std::int64_t{index} * header.columns;
        const bool complete = (index + 1) * rowBytes <= image.cells.size();
        if (!complete || read.outcome != RowReadOutcome::Complete) {
            Require(!complete && read.outcome == image.stop, "row outcome differs");
            Require(read.rowStartIndex == rowStart, "failing row start differs");
            // Binary: the whole cells the row got.
            const std::int64_t value = header.fileType == FileType::Binary
                                           ? std::int64_t(image.cells.size() / width) - rowStart
                                           : image.value;
            Require(read.value == value, "failure value differs");
            ReportRowReadFailure(read, header.columns);
            return 0;
        }
        Require(std::memcmp(row.data(), &image.cells[index * rowBytes], rowBytes) == 0,
                "row cells differ");
        CheckConversion(header, missing, row.data());
        CheckConversion(flagged, missing, row.data());
    }
    return 0;
}
