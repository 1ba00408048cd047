// Image cells as stored: their width and their little-endian bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "tools/image_description.h"

// Bytes per stored cell: 1, 2 or 4.
std::size_t CellWidth(ImageCellType cellType);

// The stored bits of `value` as a cell of `cellType`, in the low bits.
// Byte and integer cells round to nearest (halves away from zero) and
// saturate at their range, NaN giving 0; real cells saturate at the largest
// finite float and keep infinities and NaN.
std::uint32_t CellBits(ImageCellType cellType, double value);

// CellBits of a whole row, `bits` as long as `values`.
void RowCellBits(ImageCellType cellType, std::span<const double> values, std::span<std::uint32_t> bits);

// Writes the low `width` bytes of `bits`, least significant first.
void StoreLittleEndian(std::uint32_t bits, std::size_t width, std::uint8_t* into);
