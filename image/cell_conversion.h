// Turning one row of image cells into one row of 32-bit grid cells.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/image_header.h"

// Written for flagged byte and integer cells: one above the smallest 32-bit
// integer, not the smallest itself.
inline constexpr std::int32_t integerNoData = -2147483647;

// What converting a row needs, worked out once per run.
struct CellConversion {
    DataType dataType = DataType::None;
    std::size_t columns = 0;
    bool hasFlagValue = false;
    double flagValue = 0;
    // The flag value truncated toward zero; byte and integer cells are
    // compared with its low 8 or 16 bits.
    std::int64_t truncatedFlagValue = 0;
    float missingFloat = 0;
};

// The flag value truncated toward zero, or -2^63 when the truncation lies
// outside the signed 64-bit range (NaN included).
std::int64_t TruncateFlagValue(double flagValue);

CellConversion PrepareCellConversion(const ImageHeader& header, float missingFloat);

// Fills `outputRow` (columns 32-bit cells) from `inputRow`. Byte cells are
// widened without sign, 16-bit cells with sign, float bits copied unchanged.
void ConvertRow(const CellConversion& conversion, const std::byte* inputRow, std::byte* outputRow);
