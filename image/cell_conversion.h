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
    // Byte and integer images: whether the flag value is one the cells can
    // hold, and then the cell value it flags.
    bool flagsIntegerCells = false;
    std::int32_t integerFlag = 0;
    // Real images: the float a flagged cell equals (NaN: none; NaN cells
    // are flagged whenever the header gives a flag value).
    float realFlag = 0;
    float missingFloat = 0;
};

CellConversion PrepareCellConversion(const ImageHeader& header, float missingFloat);

// Fills `outputRow` (columns 32-bit cells) from `inputRow`. Byte cells are
// widened without sign, 16-bit cells with sign, float bits copied unchanged.
void ConvertRow(const CellConversion& conversion, const std::byte* inputRow, std::byte* outputRow);
