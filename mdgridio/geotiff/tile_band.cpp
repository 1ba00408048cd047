#include "mdgridio/geotiff/tile_band.h"

#include <algorithm>
#include <cstring>

namespace mdgridio {

TileGrid::TileGrid(const GridLayout& layout)
    : layout(layout),
      tilesAcross((layout.columns + tileSide - 1) / tileSide),
      tilesDown((layout.rows + tileSide - 1) / tileSide) {}

std::int32_t TileBand::RowsInBand() const {
    return std::min(tileSide, grid.layout.rows - index * tileSide);
}

void TileBand::Start(std::int32_t band) {
    index = band;
    present.assign(std::size_t(RowsInBand()), false);
    if (rows.size() < present.size()) rows.resize(present.size());
}

std::uint32_t* TileBand::Row(std::int32_t rowInBand) {
    const auto at = std::size_t(rowInBand);
    const bool wasPresent = present[at];
    std::uint32_t* cells = RowToOverwrite(rowInBand);
    if (!wasPresent) std::fill_n(cells, std::size_t(grid.layout.columns), NoDataBits(grid.layout.cellType));
    return cells;
}

std::uint32_t* TileBand::RowToOverwrite(std::int32_t rowInBand) {
    const auto at = std::size_t(rowInBand);
    if (!rows[at]) rows[at] = std::make_unique_for_overwrite<std::uint32_t[]>(std::size_t(grid.layout.columns));
    present[at] = true;
    return rows[at].get();
}

void TileBand::CopyTile(std::int32_t tileColumn, std::uint32_t* tile) const {
    const std::int32_t first = tileColumn * tileSide;
    const auto width = std::size_t(std::min(tileSide, grid.layout.columns - first));
    const std::uint32_t noData = NoDataBits(grid.layout.cellType);
    for (std::size_t row = 0; row < std::size_t{tileSide}; ++row) {
        std::uint32_t* out = tile + row * tileSide;
        if (row >= present.size()) {
            std::fill_n(out, tileSide, 0u);
            continue;
        }
        if (present[row]) {
            std::memcpy(out, rows[row].get() + first, width * sizeof *out);
        } else {
            std::fill_n(out, width, noData);
        }
        std::fill(out + width, out + tileSide, 0u);
    }
}

void TileBand::RestoreTile(std::int32_t tileColumn, const std::uint32_t* tile) {
    const std::int32_t first = tileColumn * tileSide;
    const auto width = std::size_t(std::min(tileSide, grid.layout.columns - first));
    for (std::int32_t row = 0; row < RowsInBand(); ++row)
        std::memcpy(Row(row) + first, tile + std::size_t(row) * tileSide, width * sizeof *tile);
}

}  // namespace mdgridio
