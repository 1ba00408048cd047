#include "mdgridio/geotiff/overview_tiles.h"

#include <unistd.h>

#include <cstring>

#include "mdgridio/geotiff/tile_predictor.h"

namespace mdgridio {

OverviewTiles::OverviewTiles(CellType cellType, int level, const std::vector<LevelSize>& sizes, int scratch)
    : cellType(cellType), zstd(MakeTileZstdContext(level)), scratch(scratch), cells(tileCells),
      compressed(ZSTD_compressBound(tileCells * 4)) {
    for (const LevelSize& size : sizes)
        levels.push_back(std::make_unique<Level>(GridLayout{size.columns, size.rows, cellType, 0, 0, 0, {}}));
}

OverviewTiles::~OverviewTiles() {
    if (scratch >= 0) close(scratch);
}

bool OverviewTiles::PutRow(std::size_t level, std::int32_t row, const std::uint32_t* rowCells) {
    Level& into = *levels.at(level - 1);
    const std::int32_t band = row / tileSide;
    if (band != into.band.Index()) {
        if (into.band.Active() && !StoreBand(into)) return false;
        into.band.Start(band);
    }
    std::memcpy(into.band.RowToOverwrite(row - band * tileSide), rowCells, std::size_t(into.grid.layout.columns) * 4);
    return true;
}

bool OverviewTiles::Finish() {
    for (const auto& level : levels) {
        if (level->band.Active() && !StoreBand(*level)) return false;
        level->band.End();
    }
    return true;
}

bool OverviewTiles::StoreBand(Level& level) {
    if (scratch < 0 || !zstd) return false;
    const auto bandEnd = std::size_t(std::int64_t{level.band.Index() + 1} * level.grid.tilesAcross);
    if (level.tiles.size() < bandEnd) level.tiles.resize(bandEnd);
    for (std::int32_t column = 0; column < level.grid.tilesAcross; ++column) {
        level.band.CopyTile(column, cells.data());
        ApplyPredictor(cellType, cells.data());
        const std::size_t size =
            CompressTile(zstd.get(), compressed.data(), compressed.size(), cells.data(), tileCells * 4);
        if (ZSTD_isError(size) || pwrite(scratch, compressed.data(), size, off_t(end)) != ssize_t(size)) return false;
        const auto tile = std::size_t(std::int64_t{level.band.Index()} * level.grid.tilesAcross + column);
        level.tiles[tile] = {end, std::uint32_t(size)};
        end += size;
    }
    return true;
}

std::vector<unsigned char> OverviewTiles::Tile(std::size_t level, std::uint32_t tile) const {
    const std::vector<Stored>& tiles = levels.at(level - 1)->tiles;
    if (tile >= tiles.size()) return {};
    const Stored stored = tiles[tile];
    std::vector<unsigned char> bytes(stored.bytes);
    const ssize_t read = pread(scratch, bytes.data(), bytes.size(), off_t(stored.offset));
    if (stored.bytes == 0 || read != ssize_t(bytes.size())) return {};
    return bytes;
}

}  // namespace mdgridio
