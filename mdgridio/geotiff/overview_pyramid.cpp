#include "mdgridio/geotiff/overview_pyramid.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace mdgridio {

std::vector<LevelSize> OverviewSizes(std::int32_t columns, std::int32_t rows) {
    std::vector<LevelSize> sizes;
    while (columns > tileSide || rows > tileSide) {
        columns = (columns + 1) / 2;
        rows = (rows + 1) / 2;
        sizes.push_back({columns, rows});
    }
    return sizes;
}

OverviewPyramid::OverviewPyramid(CellType cellType, std::int32_t columns, std::int32_t rows, RowSink sink)
    : cellType(cellType), columns(columns), sink(std::move(sink)) {
    // Sums and counts only for averages.
    const std::size_t averaged = cellType == CellType::Float ? 1 : 0;
    for (const LevelSize& size : OverviewSizes(columns, rows)) {
        const auto width = std::size_t(size.columns);
        levels.push_back({size, std::vector<double>(averaged * width), std::vector<std::uint32_t>(averaged * width),
                          std::vector<std::uint32_t>(width), 0, 0});
    }
}

bool OverviewPyramid::PutRow(const std::uint32_t* cells) {
    if (levels.empty()) return true;
    if (cellType == CellType::Integer) return FeedNearest(0, cells);
    // The grid's own cells fold straight into the first level.
    Level& level = levels[0];
    const bool upper = level.rowsIn % 2 == 0;
    ++level.rowsIn;
    const std::uint32_t noData = NoDataBits(cellType);
    for (std::int32_t column = 0; column < level.size.columns; ++column) {
        double sum = 0.0;
        std::uint32_t count = 0;
        for (std::int32_t at = 2 * column; at < std::min(2 * column + 2, columns); ++at) {
            const float value = std::bit_cast<float>(cells[at]);
            if (cells[at] == noData || std::isnan(value)) continue;
            sum += value;
            ++count;
        }
        const auto into = std::size_t(column);
        level.sums[into] = upper ? sum : level.sums[into] + sum;
        level.counts[into] = upper ? count : level.counts[into] + count;
    }
    return upper || Emit(0);
}

// The upper row of each pair of the level below gives the level's row:
// every second cell of it. The lower row is only counted.
bool OverviewPyramid::FeedNearest(std::size_t index, const std::uint32_t* cells) {
    Level& level = levels[index];
    const bool upper = level.rowsIn % 2 == 0;
    ++level.rowsIn;
    if (!upper) return Emit(index);
    for (std::size_t column = 0; column < level.cells.size(); ++column) level.cells[column] = cells[2 * column];
    return true;
}

// Folds a row of the level below into the level's row under way: pairs of
// cells across, pairs of rows down.
bool OverviewPyramid::FeedAverage(std::size_t index, std::int32_t inputColumns, const double* sums,
                                  const std::uint32_t* counts) {
    Level& level = levels[index];
    const bool upper = level.rowsIn % 2 == 0;
    ++level.rowsIn;
    for (std::int32_t column = 0; column < level.size.columns; ++column) {
        const std::int32_t left = 2 * column, right = left + 1;
        const auto at = std::size_t(column);
        double sum = sums[left];
        std::uint32_t count = counts[left];
        if (right < inputColumns) {
            sum += sums[right];
            count += counts[right];
        }
        level.sums[at] = upper ? sum : level.sums[at] + sum;
        level.counts[at] = upper ? count : level.counts[at] + count;
    }
    return upper || Emit(index);
}

bool OverviewPyramid::Emit(std::size_t index) {
    Level& level = levels[index];
    level.rowsIn += level.rowsIn % 2;  // a last row alone is complete
    const bool nearest = cellType == CellType::Integer;
    for (std::size_t column = 0; column < level.cells.size() && !nearest; ++column) {
        const std::uint32_t count = level.counts[column];
        level.cells[column] = count == 0 ? NoDataBits(cellType)
                                         : std::bit_cast<std::uint32_t>(float(level.sums[column] / count));
    }
    if (!sink(index + 1, level.rowsOut++, level.cells.data())) return false;
    if (index + 1 == levels.size()) return true;
    return nearest ? FeedNearest(index + 1, level.cells.data())
                   : FeedAverage(index + 1, level.size.columns, level.sums.data(), level.counts.data());
}

bool OverviewPyramid::Finish() {
    for (std::size_t index = 0; index < levels.size(); ++index) {
        if (levels[index].rowsIn % 2 == 1 && !Emit(index)) return false;
        if (levels[index].rowsOut != levels[index].size.rows) return false;
    }
    return true;
}

}  // namespace mdgridio
