// The overviews' tiles: rows cut into tiles a band at a time, compressed
// as the grid's own, and kept in a file without a name until the grid's
// file is put together. Memory: one band of tiles per level.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mdgridio/geotiff/overview_pyramid.h"
#include "mdgridio/geotiff/tile_band.h"
#include "mdgridio/geotiff/tile_zstd.h"

namespace mdgridio {

class OverviewTiles {
public:
    // Takes the scratch file's descriptor and closes it in the end.
    OverviewTiles(CellType cellType, int level, const std::vector<LevelSize>& sizes, int scratch);
    ~OverviewTiles();
    OverviewTiles(const OverviewTiles&) = delete;
    OverviewTiles& operator=(const OverviewTiles&) = delete;

    // Rows of each level in order, as the pyramid hands them on.
    bool PutRow(std::size_t level, std::int32_t row, const std::uint32_t* cells);
    // Stores the last band of every level.
    bool Finish();
    // A tile as stored, compressed; empty on failure.
    std::vector<unsigned char> Tile(std::size_t level, std::uint32_t tile) const;
    std::uint64_t StoredBytes() const { return end; }
    // False when no scratch file could be had.
    bool Usable() const { return scratch >= 0; }

private:
    struct Stored {
        std::uint64_t offset = 0;
        std::uint32_t bytes = 0;
    };
    struct Level {
        explicit Level(const GridLayout& layout) : grid(layout), band(grid) {}
        TileGrid grid;
        TileBand band;
        std::vector<Stored> tiles;  // grown band by band, as rows arrive
    };
    bool StoreBand(Level& level);

    CellType cellType;
    TileZstdContext zstd;
    int scratch;
    std::uint64_t end = 0;
    std::vector<std::unique_ptr<Level>> levels;  // level 1 first
    std::vector<std::uint32_t> cells;
    std::vector<unsigned char> compressed;
};

}  // namespace mdgridio
