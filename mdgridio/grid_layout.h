// What a grid's two files must agree on: its size, cell type and place.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

#include "mdgridio/srs/coordinate_system.h"

namespace mdgridio {

static_assert(std::endian::native == std::endian::little,
              "cells are stored little-endian exactly as the caller passes them");

enum class CellType { Integer = 1, Float = 2 };

inline constexpr std::int32_t integerNoData = -2147483647;
inline constexpr float missingFloat = std::numeric_limits<float>::lowest();
inline constexpr std::int64_t cellBytes = 4;

struct GridLayout {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    CellType cellType = CellType::Integer;
    double originX = 0.0;  // west edge
    double originY = 0.0;  // north edge
    double cellSize = 0.0;
    CoordinateSystem system;  // of the origin and cell size
};

inline std::uint32_t NoDataBits(CellType cellType) {
    return cellType == CellType::Integer ? std::bit_cast<std::uint32_t>(integerNoData)
                                         : std::bit_cast<std::uint32_t>(missingFloat);
}

inline std::int64_t RowBytes(const GridLayout& layout) { return layout.columns * cellBytes; }

}  // namespace mdgridio
