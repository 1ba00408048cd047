#include "mdgridio/grid_extent.h"

#include <cmath>

namespace mdgridio {

namespace {

constexpr double mostCellsPerSide = 2147483647.0;

std::optional<std::int32_t> CellsAcross(double low, double high, double cellSize) {
    if (!std::isfinite(low) || !std::isfinite(high) || !(high > low)) return std::nullopt;
    const double cells = std::round((high - low) / cellSize);
    if (!(cells >= 1.0 && cells <= mostCellsPerSide)) return std::nullopt;
    return static_cast<std::int32_t>(cells);
}

}  // namespace

std::optional<GridExtent> FitGridExtent(const double* box, double cellSize) {
    if (box == nullptr || !std::isfinite(cellSize) || !(cellSize > 0.0)) return std::nullopt;
    const auto columns = CellsAcross(box[0], box[2], cellSize);
    const auto rows = CellsAcross(box[1], box[3], cellSize);
    if (!columns || !rows) return std::nullopt;
    const GridExtent extent{
        box[0], box[3] - *rows * cellSize, box[0] + *columns * cellSize, box[3], *columns, *rows};
    // Rounding up by half a cell can still overflow next to the largest double.
    if (!std::isfinite(extent.minY) || !std::isfinite(extent.maxX)) return std::nullopt;
    return extent;
}

}  // namespace mdgridio
