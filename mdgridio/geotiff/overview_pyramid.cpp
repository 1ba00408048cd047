#include "mdgridio/geotiff/overview_pyramid.h"

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
    : cellType(cellType), columns(columns), sink(std::move(sink)), rowSums(std::size_t(columns)),
      rowCounts(std::size_t(columns)) {
    for (const LevelSize& size : OverviewSizes(columns, rows)) {
        const auto width = std::size_t(size.columns);
        levels.push_back({size, std::vector<double>(width), std::vector<std::uint32_t>(width),
                          std::vector<std::uint32_t>(width), 0, 0});
    }
}

bool OverviewPyramid::PutRow(const std::uint32_t* cells) {
    if (levels.empty()) return true;
    const std::uint32_t noData = NoDataBits(cellType);
    for (std::size_t column = 0; column < rowSums.size(); ++column) {
        if (cellType == CellType::Integer) {
            rowSums[column] = std::bit_cast<std::int32_t>(cells[column]);
            continue;
        }
        const float value = std::bit_cast<float>(cells[column]);
        const bool holdsValue = cells[column] != noData && !std::isnan(value);
        rowSums[column] = holdsValue ? value : 0.0;
        rowCounts[column] = holdsValue ? 1 : 0;
    }
    return Feed(0, columns, rowSums.data(), rowCounts.data());
}

// Folds a row of the level below into the level's row under way: pairs of
// cells across, pairs of rows down.
bool OverviewPyramid::Feed(std::size_t index, std::int32_t inputColumns, const double* sums,
                           const std::uint32_t* counts) {
    Level& level = levels[index];
    const bool upper = level.rowsIn % 2 == 0;
    ++level.rowsIn;
    for (std::int32_t column = 0; column < level.size.columns; ++column) {
        const std::int32_t left = 2 * column, right = left + 1;
        const auto at = std::size_t(column);
        if (cellType == CellType::Integer) {
            if (upper) level.sums[at] = sums[left];
            continue;
        }
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
    for (std::size_t column = 0; column < level.cells.size(); ++column) {
        if (cellType == CellType::Integer) {
            level.cells[column] = std::bit_cast<std::uint32_t>(std::int32_t(level.sums[column]));
        } else {
            const std::uint32_t count = level.counts[column];
            level.cells[column] = count == 0 ? NoDataBits(cellType)
                                             : std::bit_cast<std::uint32_t>(float(level.sums[column] / count));
        }
    }
    if (!sink(index + 1, level.rowsOut++, level.cells.data())) return false;
    return index + 1 == levels.size() ||
           Feed(index + 1, level.size.columns, level.sums.data(), level.counts.data());
}

bool OverviewPyramid::Finish() {
    for (std::size_t index = 0; index < levels.size(); ++index) {
        if (levels[index].rowsIn % 2 == 1 && !Emit(index)) return false;
        if (levels[index].rowsOut != levels[index].size.rows) return false;
    }
    return true;
}

}  // namespace mdgridio
