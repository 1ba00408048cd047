// Reads a fuzzed image data file row by row in every layout the converter
// reads, and holds each row and its grid cells against the plain reference.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "image/byte_source.h"
#include "image/cell_conversion.h"
#include "image/image_data.h"
#include "reference_conversion.h"
#include "reference_image.h"

namespace {

constexpr int largestSide = 300;

struct Layout {
    DataType dataType;
    FileType fileType;
};

// Packed real images are refused before any row is read.
constexpr std::array<Layout, 5> layouts = {{
    {DataType::Byte, FileType::Binary},
    {DataType::Integer, FileType::Binary},
    {DataType::Real, FileType::Binary},
    {DataType::Byte, FileType::PackedBinary},
    {DataType::Integer, FileType::PackedBinary},
}};

struct DataCase {
    ImageHeader header;
    ReferenceFlag flag;
    std::span<const std::byte> data;
};

// Flags that match cells often enough to matter, beside arbitrary doubles.
double TakeFlagValue(FuzzInput& input) {
    const auto mode = input.Take<std::uint8_t>() % 4;
    const auto raw = input.Take<std::uint64_t>();
    switch (mode) {
        case 0: return static_cast<std::int16_t>(raw);
        case 1: return static_cast<std::int16_t>(raw) + static_cast<double>(raw >> 16 & 0xff) / 256;
        case 2: return std::bit_cast<float>(static_cast<std::uint32_t>(raw));
        default: return std::bit_cast<double>(raw);
    }
}

DataCase TakeDataCase(std::span<const std::byte> bytes) {
    FuzzInput input(bytes);
    DataCase dataCase;
    const Layout layout = layouts[input.Take<std::uint8_t>() % layouts.size()];
    ImageHeader& header = dataCase.header;
    header.dataType = layout.dataType;
    header.fileType = layout.fileType;
    header.columns = 1 + input.Take<std::uint16_t>() % largestSide;
    header.rows = 1 + input.Take<std::uint16_t>() % largestSide;
    dataCase.flag.present = true;
    dataCase.flag.value = TakeFlagValue(input);
    dataCase.flag.missingFloat = input.Take<float>();
    dataCase.data = input.Rest();
    return dataCase;
}

void RequireSameFailure(const RowRead& read, const RowRead& expected) {
    Require(read.outcome == expected.outcome, "row outcome differs from the reference");
    Require(read.rowStartIndex == expected.rowStartIndex, "failing row start differs");
    Require(read.value == expected.value, "failure value differs from the reference");
}

void CheckConvertedRow(const CellConversion& conversion, const ReferenceFlag& flag,
                       const std::byte* cells, std::vector<std::byte>& outputRow) {
    ConvertRow(conversion, cells, outputRow.data());
    const std::size_t width = ElementSize(conversion.dataType);
    for (std::size_t column = 0; column < conversion.columns; ++column) {
        std::uint32_t bits;
        std::memcpy(&bits, outputRow.data() + column * sizeof bits, sizeof bits);
        const std::span<const std::byte> cell(cells + column * width, width);
        Require(bits == ExpectedGridBits(conversion.dataType, cell, flag),
                "grid cell differs from the reference");
    }
}

// Each complete row is converted twice: without a flag and with one.
struct RowConversions {
    CellConversion plain;
    ReferenceFlag noFlag;
    CellConversion flagged;
    ReferenceFlag flag;
};

RowConversions PrepareConversions(const DataCase& dataCase) {
    RowConversions conversions;
    conversions.noFlag = {false, 0, dataCase.flag.missingFloat};
    conversions.plain = PrepareCellConversion(dataCase.header, dataCase.flag.missingFloat);
    ImageHeader flaggedHeader = dataCase.header;
    flaggedHeader.hasFlagValue = true;
    flaggedHeader.flagValue = dataCase.flag.value;
    conversions.flag = dataCase.flag;
    conversions.flagged = PrepareCellConversion(flaggedHeader, dataCase.flag.missingFloat);
    return conversions;
}

void ReadAllRows(const DataCase& dataCase) {
    const ImageHeader& header = dataCase.header;
    const auto columns = static_cast<std::size_t>(header.columns);
    const ReferenceImage reference = ExpandImage(header, dataCase.data);
    const RowConversions conversions = PrepareConversions(dataCase);

    MemoryByteSource source(dataCase.data);
    auto decoder = std::make_unique<PackedRunDecoder>();
    std::vector<std::byte> inputRow(columns * ElementSize(header.dataType));
    std::vector<std::byte> outputRow(columns * sizeof(std::int32_t));
    for (std::int32_t row = 0; row < header.rows; ++row) {
        // A cell the reader forgets to write shows up as this pattern.
        std::memset(inputRow.data(), 0xA5 ^ row, inputRow.size());
        const RowRead read = ReadImageRow(source, header, row, inputRow.data(), *decoder);
        const ReferenceRow expected = ExpectRow(reference, header, row);
        if (expected.cells == nullptr || read.outcome != RowReadOutcome::Complete) {
            RequireSameFailure(read, expected.read);
            ReportRowReadFailure(read, header.columns);
            return;
        }
        Require(std::memcmp(inputRow.data(), expected.cells, inputRow.size()) == 0,
                "row cells differ from the reference");
        CheckConvertedRow(conversions.plain, conversions.noFlag, inputRow.data(), outputRow);
        CheckConvertedRow(conversions.flagged, conversions.flag, inputRow.data(), outputRow);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The failure messages go to stdout; keep libFuzzer's own output legible.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = std::as_bytes(std::span(data, size));
    ReadAllRows(TakeDataCase(bytes));
    return 0;
}
