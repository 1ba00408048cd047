// The GeoTIFF module: writes one grid as a tiled GeoTIFF. The run's thread
// puts rows into a band of tile rows; when rows move on to another band,
// the band goes to the compressing workers while the next one fills, so at
// most two bands and the tiles in flight are held.
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mdgridio/geotiff/cog_file.h"
#include "mdgridio/geotiff/overview_pyramid.h"
#include "mdgridio/geotiff/overview_tiles.h"
#include "mdgridio/geotiff/tiff_file.h"
#include "mdgridio/geotiff/tile_band.h"
#include "mdgridio/geotiff/tile_compressors.h"
#include "mdgridio/geotiff/tile_predictor.h"
#include "mdgridio/geotiff/writer_settings.h"
#include "mdgridio/geotiff/geotiff_files.h"
#include "mdgridio/geotiff/geotiff_module.h"

namespace mdgridio {

struct GeoTiffGrid {
    TileGrid tiles;
    std::optional<TakenName> name;
    int level = 0;
    // A cloud-optimized grid's own tiles go to a file without a name first,
    // to be copied behind its overviews.
    bool cloudOptimized = false;
    TiffFile file;
    // Overviews made as rows arrive in order, top row first; any other
    // order drops them, to be made from the file in the end.
    std::optional<OverviewTiles> overviews;
    std::optional<OverviewPyramid> pyramid;
    std::int32_t pyramidRows = 0;
    std::vector<bool> bandsSent;
    TileBand bands[2];
    TileBand* filling = &bands[0];
    TileBand* previous = &bands[1];  // sent, until its tiles are written
    bool fillingSentBefore = false;
    std::int32_t rowsCovered = 0;  // up to the last row written
    bool failed = false;
    // Last, so that the workers stop before anything they use goes.
    std::optional<TileCompressors> compressors;

    explicit GeoTiffGrid(const GridLayout& layout)
        : tiles(layout), bandsSent(std::size_t(tiles.tilesDown)), bands{TileBand(tiles), TileBand(tiles)} {}
    GeoTiffGrid(const GeoTiffGrid&) = delete;
    GeoTiffGrid& operator=(const GeoTiffGrid&) = delete;
};

namespace {

// The band in hand goes to the workers once the one before it is written.
bool SendFilling(GeoTiffGrid& grid) {
    if (!grid.filling->Active()) return true;
    if (!grid.compressors->Release(*grid.previous)) return false;
    grid.previous->End();
    if (!grid.compressors->Send(*grid.filling, grid.tiles.tilesAcross, grid.fillingSentBefore)) return false;
    grid.bandsSent[std::size_t(grid.filling->Index())] = true;
    std::swap(grid.filling, grid.previous);
    return true;
}

// A band's tiles as written to the file, into `into` started for it.
bool ReadBand(const GeoTiffGrid& grid, std::int32_t band, TileBand& into) {
    const CellType cellType = grid.tiles.layout.cellType;
    std::vector<std::uint32_t> cells(tileCells);
    for (std::int32_t column = 0; column < grid.tiles.tilesAcross; ++column) {
        const auto tile = std::uint32_t(std::int64_t{band} * grid.tiles.tilesAcross + column);
        const std::vector<unsigned char> compressed = grid.file.ReadTile(tile);
        const std::size_t size =
            ZSTD_decompress(cells.data(), tileCells * 4, compressed.data(), compressed.size());
        if (ZSTD_isError(size) || size != tileCells * 4) return false;
        UndoPredictor(cellType, cells.data());
        into.RestoreTile(column, cells.data());
    }
    return true;
}

// A band written before (rows out of order) is read back from the file.
bool ReadBack(GeoTiffGrid& grid, std::int32_t band) {
    return grid.compressors->Drain() && ReadBand(grid, band, *grid.filling);
}

bool SwitchTo(GeoTiffGrid& grid, std::int32_t band) {
    if (!SendFilling(grid)) return false;
    grid.filling->Start(band);
    grid.fillingSentBefore = grid.bandsSent[std::size_t(band)];
    return !grid.fillingSentBefore || ReadBack(grid, band);
}

bool WriteRow(GeoTiffGrid& grid, std::int32_t row, const void* cells) {
    const std::int32_t band = row / tileSide;
    if (band != grid.filling->Index() && !SwitchTo(grid, band)) return false;
    std::memcpy(grid.filling->RowToOverwrite(row - band * tileSide), cells, std::size_t(RowBytes(grid.tiles.layout)));
    return true;
}

// The band in hand, then every band no row was written to, as no-data.
bool WriteRemainingBands(GeoTiffGrid& grid) {
    for (std::int32_t band = 0; band < grid.tiles.tilesDown; ++band) {
        if (!grid.bandsSent[std::size_t(band)] && band != grid.filling->Index() && !SwitchTo(grid, band))
            return false;
    }
    return SendFilling(grid) && grid.compressors->Drain();
}

// Overviews to be fed the grid's rows from the top; false without room for them.
bool StartOverviews(GeoTiffGrid& grid) {
    const GridLayout& layout = grid.tiles.layout;
    grid.pyramidRows = 0;
    grid.pyramid.reset();
    grid.overviews.reset();
    grid.overviews.emplace(layout.cellType, grid.level, OverviewSizes(layout.columns, layout.rows),
                           grid.name->OpenScratch());
    OverviewTiles* overviews = &*grid.overviews;
    grid.pyramid.emplace(layout.cellType, layout.columns, layout.rows,
                         [overviews](std::size_t level, std::int32_t row, const std::uint32_t* cells) {
                             return overviews->PutRow(level, row, cells);
                         });
    return grid.overviews->Usable();
}

// Rows that came in order feed the overviews as they arrive; the first out
// of order drops them.
bool FeedOverviews(GeoTiffGrid& grid, std::int32_t row, const void* cells) {
    if (!grid.pyramid) return true;
    if (row != grid.pyramidRows) {
        grid.pyramid.reset();
        grid.overviews.reset();
        return true;
    }
    ++grid.pyramidRows;
    return grid.pyramid->PutRow(static_cast<const std::uint32_t*>(cells));
}

// Overviews dropped are made again from the grid's own tiles, read back a
// band at a time.
bool OverviewsFromFile(GeoTiffGrid& grid) {
    if (!StartOverviews(grid)) return false;
    TileBand& band = *grid.filling;
    for (std::int32_t index = 0; index < grid.tiles.tilesDown; ++index) {
        band.Start(index);
        if (!ReadBand(grid, index, band)) return false;
        const std::int32_t rows = std::min(tileSide, grid.tiles.layout.rows - index * tileSide);
        for (std::int32_t row = 0; row < rows; ++row) {
            if (!FeedOverviews(grid, index * tileSide + row, band.Row(row))) return false;
        }
    }
    band.End();
    return true;
}

// The overviews' last rows, then the whole into the grid's file.
bool WriteCloudOptimized(GeoTiffGrid& grid) {
    const GridLayout& layout = grid.tiles.layout;
    const bool complete = grid.pyramid && grid.pyramidRows == layout.rows;
    if (!complete && !OverviewsFromFile(grid)) return false;
    if (!grid.pyramid->Finish() || !grid.overviews->Finish()) return false;
    const OverviewTiles& overviews = *grid.overviews;
    std::vector<CogImage> images{{{layout.columns, layout.rows}, [&](std::uint32_t tile) { return grid.file.ReadTile(tile); }}};
    const std::vector<LevelSize> sizes = OverviewSizes(layout.columns, layout.rows);
    for (std::size_t level = 1; level <= sizes.size(); ++level) {
        images.push_back({sizes[level - 1], [&, level](std::uint32_t tile) { return overviews.Tile(level, tile); }});
    }
    const std::uint64_t stored = grid.file.StoredBytes() + overviews.StoredBytes();
    return WriteCogFile(grid.name->TemporaryPath(), layout, grid.level, images, stored);
}

// Workers past what two bands of tiles can keep busy would only wait; one
// worker, or one tile, is compressed on the run's own thread, sparing a
// hand-over that costs more than a small grid's compression.
int WorkersFor(const TileGrid& tiles, int asked) {
    const std::int64_t useful = std::min(tiles.Tiles(), 2 * std::int64_t{tiles.tilesAcross});
    return useful <= 1 || asked <= 1 ? 0 : int(std::min<std::int64_t>(useful, asked));
}

GeoTiffGrid* Create(const char* path, const GridLayout* layout) try {
    const std::optional<WriterSettings> settings = ReadWriterSettings();
    if (!settings) return nullptr;
    auto grid = std::make_unique<GeoTiffGrid>(*layout);
    if (grid->tiles.Tiles() > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    auto name = TakeName(path);
    if (!name) return nullptr;
    grid->name.emplace(std::move(*name));
    grid->level = settings->level;
    grid->cloudOptimized = settings->cloudOptimized;
    std::string tilesPath = grid->name->TemporaryPath();
    if (grid->cloudOptimized) {
        const int scratch = grid->name->OpenScratch();
        if (scratch < 0) return nullptr;
        tilesPath = "/proc/self/fd/" + std::to_string(scratch);
        const bool opened = grid->file.Open(tilesPath, grid->tiles, settings->level);
        close(scratch);  // the TIFF holds the file open itself
        if (!opened || !StartOverviews(*grid)) return nullptr;
    } else if (!grid->file.Open(tilesPath, grid->tiles, settings->level)) {
        return nullptr;
    }
    TiffFile* file = &grid->file;
    grid->compressors.emplace(WorkersFor(grid->tiles, settings->workers), layout->cellType, settings->level,
                              [file](FinishedTile& tile) {
                                  return tile.rewrite ? file->RewriteTile(tile.index, tile.cells.data())
                                                      : file->WriteTile(tile.index, tile.compressed.data(),
                                                                        tile.compressed.size());
                              });
    return grid.release();
} catch (...) {
    return nullptr;
}

int PutRow(GeoTiffGrid* grid, int row, const void* cells) try {
    if (grid->failed || cells == nullptr || row < 0 || row >= grid->tiles.layout.rows) return -1;
    if (grid->compressors->Failed() || !WriteRow(*grid, row, cells) || !FeedOverviews(*grid, row, cells)) {
        grid->failed = true;
        return -1;
    }
    grid->rowsCovered = std::max(grid->rowsCovered, row + 1);
    return 0;
} catch (...) {
    grid->failed = true;
    return -1;
}

int Finish(GeoTiffGrid* grid, FileIdentity* finished) try {
    const std::unique_ptr<GeoTiffGrid> owned(grid);
    const bool whole = !owned->failed && owned->rowsCovered == owned->tiles.layout.rows;
    if (!whole || !WriteRemainingBands(*owned)) return -1;
    owned->compressors.reset();
    const bool written = owned->cloudOptimized ? WriteCloudOptimized(*owned) : owned->file.Close();
    const std::optional<FileIdentity> placed = written ? owned->name->PutInPlace() : std::nullopt;
    if (!placed) return -1;
    *finished = *placed;
    return 0;
} catch (...) {
    return -1;
}

void Discard(GeoTiffGrid* grid) { delete grid; }

int RemoveFinished(const char* name, FileIdentity* identity) {
    return RemoveFileIfStill(name, *identity) ? 0 : -1;
}

}  // namespace

}  // namespace mdgridio

extern "C" __attribute__((visibility("default")))
const mdgridio::GeoTiffModule MdgridioGeoTiffModule = {
    mdgridio::Create, mdgridio::PutRow, mdgridio::Finish, mdgridio::Discard,
    mdgridio::RemoveFinished};
