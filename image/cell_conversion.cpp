#include "image/cell_conversion.h"

#include "image/vector_clones.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

template <typename Cell>
void ConvertIntegerCells(const CellConversion& conversion, const Cell* cells, std::int32_t* grid) {
    // A local count: the stores could otherwise alias it, which keeps the
    // compiler from vectorizing cleanly.
    const std::size_t columns = conversion.columns;
    if (!conversion.flagsIntegerCells) {
        for (std::size_t column = 0; column < columns; ++column) grid[column] = cells[column];
        return;
    }
    const std::int32_t flag = conversion.integerFlag;
    // A flagged cell holds the flag, so one XOR turns it into no-data; done
    // without a select, the loop vectorizes better, on 32-bit lanes.
    const std::int32_t flagToNoData = flag ^ integerNoData;
    for (std::size_t column = 0; column < columns; ++column) {
        const std::int32_t cell = cells[column];
        grid[column] = cell ^ (-static_cast<std::int32_t>(cell == flag) & flagToNoData);
    }
}

void ConvertRealCells(const CellConversion& conversion, const std::byte* cells, std::byte* grid) {
    if (!conversion.hasFlagValue) {
        std::memcpy(grid, cells, conversion.columns * sizeof(float));
        return;
    }
    // Work on the bits so that every unflagged cell, NaN payloads included,
    // leaves exactly as it came.
    const auto missingBits = std::bit_cast<std::uint32_t>(conversion.missingFloat);
    // Comparing in float, not double, lets the loop run on whole vectors.
    const float flag = conversion.realFlag;
    const std::size_t columns = conversion.columns;
    for (std::size_t column = 0; column < columns; ++column) {
        std::uint32_t bits;
        std::memcpy(&bits, cells + column * sizeof bits, sizeof bits);
        const auto cell = std::bit_cast<float>(bits);
        // Non-short-circuit, so that no branch stands in the vector's way.
        const bool flagged = (cell == flag) | (cell != cell);
        const std::uint32_t out = flagged ? missingBits : bits;
        std::memcpy(grid + column * sizeof out, &out, sizeof out);
    }
}

// The cell value a flag value flags in a byte (`bits` 8) or integer (16)
// image: a whole number from the smallest signed to the largest unsigned
// value of that width, taken by its low bits, so that -1 on bytes flags 255
// and 65535 on integers flags -1 as writers mean. Any other flag value flags
// no cell.
bool IntegerCellFlag(double flagValue, int bits, std::int32_t& cell) {
    const double lowest = -std::ldexp(1, bits - 1);
    const double highest = std::ldexp(1, bits) - 1;
    // Also false for NaN; a template's -9999 on bytes or 0.5 flags nothing
    // rather than a class the cells hold.
    if (!(flagValue >= lowest && flagValue <= highest) || flagValue != std::trunc(flagValue))
        return false;
    const auto lowBits = static_cast<std::uint32_t>(static_cast<std::int32_t>(flagValue)) &
                         ((std::uint32_t{1} << bits) - 1);
    // Bytes widen without sign, 16-bit cells with it.
    cell = bits == 8 ? static_cast<std::int32_t>(lowBits)
                     : static_cast<std::int16_t>(static_cast<std::uint16_t>(lowBits));
    return true;
}

// The float that flags real cells: the flag value rounded to single
// precision, where that is finite and is zero only for a flag of zero;
// infinities stand for themselves; otherwise NaN, which no cell equals.
float RealCellFlag(double flagValue) {
    // A writer that stored the float nearest to 0.1 writes 0.1; a flag that
    // rounds to zero or past the floats (1e-50, 1e40) is no float's value.
    if (std::isinf(flagValue)) return static_cast<float>(flagValue);
    constexpr float notAFlag = std::numeric_limits<float>::quiet_NaN();
    if (!(std::fabs(flagValue) < 0x1.ffffffp127)) return notAFlag;
    const auto flag = static_cast<float>(flagValue);
    return flag == 0 && flagValue != 0 ? notAFlag : flag;
}

}  // namespace

CellConversion PrepareCellConversion(const ImageHeader& header, float missingFloat) {
    CellConversion conversion;
    conversion.dataType = header.dataType;
    conversion.columns = header.columns > 0 ? static_cast<std::size_t>(header.columns) : 0;
    conversion.hasFlagValue = header.hasFlagValue;
    const int bits = header.dataType == DataType::Byte ? 8 : 16;
    conversion.flagsIntegerCells =
        header.hasFlagValue && IntegerCellFlag(header.flagValue, bits, conversion.integerFlag);
    conversion.realFlag = RealCellFlag(header.flagValue);
    conversion.missingFloat = missingFloat;
    return conversion;
}

// Twice the vector width where the processor has it, chosen when loaded:
// these loops then cost two to four times less than with SSE2 alone.
WITH_AVX2_CLONE
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
