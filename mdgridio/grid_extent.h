// Turning a box and a cell size into whole columns and rows.
#pragma once

#include <cstdint>
#include <optional>

namespace mdgridio {

struct GridExtent {
    double minX = 0.0;
    double minY = 0.0;
    double maxX = 0.0;
    double maxY = 0.0;
    std::int32_t columns = 0;
    std::int32_t rows = 0;
};

// Each side is the box's width over the cell size rounded to the nearest
// whole cell, 1 to 2147483647. The extent keeps the box's west and north
// edges, where row 0 and column 0 start, and moves the other two to fit.
// Empty when the box (minX, minY, maxX, maxY) or the cell size is unusable.
std::optional<GridExtent> FitGridExtent(const double* box, double cellSize);

}  // namespace mdgridio
