#include "image/cell_conversion.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

template <typename Cell>
void ConvertIntegerCells(const CellConversion& conversion, const Cell* cells, std::int32_t* grid) {
    if (!conversion.hasFlagValue) {
        for (std::size_t column = 0; column < conversion.columns; ++column) grid[column] = cells[column];
        return;
    }
    // Comparing bit patterns of the cell's width flags modulo 256 or 65536.
    const auto flag = static_cast<Cell>(static_cast<std::uint64_t>(conversion.truncatedFlagValue));
    for (std::size_t column = 0; column < conversion.columns; ++column)
        grid[column] = cells[column] == flag ? integerNoData : std::int32_t{cells[column]};
}

void ConvertRealCells(const CellConversion& conversion, const std::byte* cells, std::byte* grid) {
    if (!conversion.hasFlagValue) {
        std::memcpy(grid, cells, conversion.columns * sizeof(float));
        return;
    }
    // Work on the bits so that every unflagged cell, NaN payloads included,
    // leaves exactly as it came.
    const auto missingBits = std::bit_cast<std::uint32_t>(conversion.missingFloat);
    const double flagValue = conversion.flagValue;
    for (std::size_t column = 0; column < conversion.columns; ++column) {
        std::uint32_t bits;
        std::memcpy(&bits, cells + column * sizeof bits, sizeof bits);
        const auto cell = static_cast<double>(std::bit_cast<float>(bits));
        const bool flagged = cell == flagValue || cell != cell;
        const std::uint32_t out = flagged ? missingBits : bits;
        std::memcpy(grid + column * sizeof out, &out, sizeof out);
    }
}

}  // namespace

std::int64_t TruncateFlagValue(double flagValue) {
    constexpr double twoToThe63 = 9223372036854775808.0;
    if (!(flagValue >= -twoToThe63 && flagValue < twoToThe63))
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(flagValue);
}

CellConversion PrepareCellConversion(const ImageHeader& header, float missingFloat) {
    CellConversion conversion;
    conversion.dataType = header.dataType;
    conversion.columns = header.columns > 0 ? static_cast<std::size_t>(header.columns) : 0;
    conversion.hasFlagValue = header.hasFlagValue;
    conversion.flagValue = header.flagValue;
    conversion.truncatedFlagValue = TruncateFlagValue(header.flagValue);
    conversion.missingFloat = missingFloat;
    return conversion;
}

void ConvertRow(const CellConversion& conversion, const std::byte* inputRow, std::byte* outputRow) {
    auto* grid = reinterpret_cast<std::int32_t*>(outputRow);
    switch (conversion.dataType) {
        case DataType::Byte:
            ConvertIntegerCells(conversion, reinterpret_cast<const std::uint8_t*>(inputRow), grid);
            break;
        case DataType::Integer:
            ConvertIntegerCells(conversion, reinterpret_cast<const std::int16_t*>(inputRow), grid);
            break;
        case DataType::Real: ConvertRealCells(conversion, inputRow, outputRow); break;
        case DataType::None: break;
    }
}
