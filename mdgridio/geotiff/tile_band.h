// A band: one row of 256 x 256 tiles, filled a grid row at a time by the
// run's thread and cut into tiles by the compressing workers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mdgridio/grid_layout.h"

namespace mdgridio {

inline constexpr std::int32_t tileSide = 256;
inline constexpr std::size_t tileCells = std::size_t{tileSide} * tileSide;

struct TileGrid {
    GridLayout layout;
    std::int32_t tilesAcross = 0;
    std::int32_t tilesDown = 0;
    explicit TileGrid(const GridLayout& layout);
    std::int64_t Tiles() const { return std::int64_t{tilesAcross} * tilesDown; }
};

class TileBand {
public:
    explicit TileBand(const TileGrid& grid) : grid(grid) {}

    // Starts band `index` with every cell no-data; the rows' memory is kept
    // from band to band, and taken only as rows arrive.
    void Start(std::int32_t index);
    std::int32_t Index() const { return index; }
    bool Active() const { return index >= 0; }
    void End() { index = -1; }

    // The cells of one of the band's rows, taken on first use as no-data.
    std::uint32_t* Row(std::int32_t rowInBand);
    // The same, not made no-data first: for a caller that writes it whole.
    std::uint32_t* RowToOverwrite(std::int32_t rowInBand);

    // A whole tile: zeros past the grid's edges, which compress best.
    void CopyTile(std::int32_t tileColumn, std::uint32_t* tile) const;
    // The inverse, for a band read back from the file.
    void RestoreTile(std::int32_t tileColumn, const std::uint32_t* tile);

private:
    std::int32_t RowsInBand() const;

    const TileGrid& grid;
    std::int32_t index = -1;
    std::vector<std::unique_ptr<std::uint32_t[]>> rows;  // allocated as rows arrive
    std::vector<bool> present;                           // rows written in this band
};

}  // namespace mdgridio
