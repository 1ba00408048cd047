// The GeoTIFF module: writes one grid as a tiled, compressed GeoTIFF through
// GDAL. Every GDAL call runs under an error handler that prints nothing and
// counts failures, and a failure in any call fails the grid.
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_frmts.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "mdgridio/geotiff_files.h"
#include "mdgridio/geotiff_module.h"

namespace mdgridio {

struct GeoTiffGrid {
    GridLayout layout;
    std::optional<TakenName> name;
    GDALDatasetH dataset = nullptr;
    std::int64_t cacheShare = 0;
    std::int32_t rowsCovered = 0;
    bool failed = false;

    GeoTiffGrid() = default;
    GeoTiffGrid(const GeoTiffGrid&) = delete;
    GeoTiffGrid& operator=(const GeoTiffGrid&) = delete;
    // Closes the file, then removes both files unless the grid was put in place.
    ~GeoTiffGrid();
};

namespace {

constexpr int tileSide = 256;
// Room in GDAL's block cache beyond one row of tiles, in tiles.
constexpr std::int64_t spareTiles = 4;

std::atomic<unsigned> gdalFailures{0};
std::int64_t cacheNeeded = 0;  // by the grids open now

void CPL_STDCALL CountFailure(CPLErr level, CPLErrorNum, const char*) {
    if (level == CE_Failure || level == CE_Fatal) ++gdalFailures;
}

// Around every GDAL call: GDAL's messages go nowhere, and Failed() tells
// whether the call reported one.
class QuietGdal {
public:
    QuietGdal() : failuresBefore(gdalFailures.load()) { CPLPushErrorHandler(CountFailure); }
    ~QuietGdal() { CPLPopErrorHandler(); }
    QuietGdal(const QuietGdal&) = delete;
    QuietGdal& operator=(const QuietGdal&) = delete;
    bool Failed() const { return gdalFailures.load() != failuresBefore; }

private:
    unsigned failuresBefore;
};

GDALDriverH GeoTiffDriver() {
    static const GDALDriverH driver = [] {
        // GDAL's compression threads have no handler of ours.
        CPLSetErrorHandler(CPLQuietErrorHandler);
        GDALRegister_GTiff();
        return GDALGetDriverByName("GTiff");
    }();
    return driver;
}

// One row of tiles of every grid open, so that a tile leaves the cache only
// when its rows are all written, and is compressed and written once.
void ShareBlockCache(std::int64_t change) {
    cacheNeeded += change;
    GDALSetCacheMax64(std::max<std::int64_t>(cacheNeeded, 1));
}

std::int64_t CacheShareFor(const GridLayout& layout) {
    const std::int64_t tileBytes = std::int64_t{tileSide} * tileSide * cellBytes;
    const std::int64_t tilesAcross = (layout.columns + tileSide - 1) / tileSide;
    return (tilesAcross + spareTiles) * tileBytes;
}

GDALDataType CellDataType(CellType cellType) {
    return cellType == CellType::Integer ? GDT_Int32 : GDT_Float32;
}

double NoDataValue(CellType cellType) {
    return cellType == CellType::Integer ? double{integerNoData} : double{missingFloat};
}

class CreationOptions {
public:
    explicit CreationOptions(CellType cellType) {
        for (const char* option :
             {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256", "COMPRESS=ZSTD", "BIGTIFF=IF_SAFER",
              "NUM_THREADS=ALL_CPUS", cellType == CellType::Integer ? "PREDICTOR=2" : "PREDICTOR=3"}) {
            list = CSLAddString(list, option);
        }
    }
    ~CreationOptions() { CSLDestroy(list); }
    CreationOptions(const CreationOptions&) = delete;
    CreationOptions& operator=(const CreationOptions&) = delete;
    char** List() const { return list; }

private:
    char** list = nullptr;
};

bool Describe(GDALDatasetH dataset, const GridLayout& layout) {
    double transform[6] = {layout.originX, layout.cellSize, 0.0,
                           layout.originY, 0.0,             -layout.cellSize};
    return GDALSetGeoTransform(dataset, transform) == CE_None &&
           GDALSetRasterNoDataValue(GDALGetRasterBand(dataset, 1),
                                    NoDataValue(layout.cellType)) == CE_None;
}

bool OpenDataset(GeoTiffGrid& grid) {
    const QuietGdal quiet;
    const GDALDriverH driver = GeoTiffDriver();
    if (driver == nullptr) return false;
    const CreationOptions options(grid.layout.cellType);
    grid.dataset = GDALCreate(driver, grid.name->TemporaryPath().c_str(), grid.layout.columns,
                              grid.layout.rows, 1, CellDataType(grid.layout.cellType),
                              options.List());
    return grid.dataset != nullptr && Describe(grid.dataset, grid.layout) && !quiet.Failed();
}

// Writes out what GDAL still holds; false when any of it failed.
bool CloseDataset(GeoTiffGrid& grid) {
    if (grid.dataset == nullptr) return true;
    const QuietGdal quiet;
    GDALClose(grid.dataset);
    grid.dataset = nullptr;
    return !quiet.Failed();
}

GeoTiffGrid* Create(const char* path, const GridLayout* layout) {
    try {
        auto grid = std::make_unique<GeoTiffGrid>();
        grid->layout = *layout;
        auto name = TakeName(path);
        if (!name) return nullptr;
        grid->name.emplace(std::move(*name));
        grid->cacheShare = CacheShareFor(*layout);
        ShareBlockCache(grid->cacheShare);
        return OpenDataset(*grid) ? grid.release() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

int PutRow(GeoTiffGrid* grid, int row, const void* cells) try {
    if (grid->failed || cells == nullptr || row < 0 || row >= grid->layout.rows) return -1;
    const QuietGdal quiet;
    const CPLErr result = GDALRasterIO(GDALGetRasterBand(grid->dataset, 1), GF_Write, 0, row,
                                       grid->layout.columns, 1, const_cast<void*>(cells),
                                       grid->layout.columns, 1,
                                       CellDataType(grid->layout.cellType), 0, 0);
    if (result != CE_None || quiet.Failed()) {
        grid->failed = true;
        return -1;
    }
    grid->rowsCovered = std::max(grid->rowsCovered, row + 1);
    return 0;
} catch (...) {
    grid->failed = true;
    return -1;
}

int Finish(GeoTiffGrid* grid, FileIdentity* finished) {
    const std::unique_ptr<GeoTiffGrid> owned(grid);
    try {
    const bool whole = !owned->failed && owned->rowsCovered == owned->layout.rows;
    const bool written = whole && CloseDataset(*owned);
    const std::optional<FileIdentity> placed = written ? owned->name->PutInPlace() : std::nullopt;
    if (!placed) return -1;
    *finished = *placed;
    return 0;
    } catch (...) {
        return -1;
    }
}

void Discard(GeoTiffGrid* grid) { delete grid; }

int RemoveFinished(const char* name, FileIdentity* identity) {
    return RemoveFileIfStill(name, *identity) ? 0 : -1;
}

}  // namespace

GeoTiffGrid::~GeoTiffGrid() {
    CloseDataset(*this);
    ShareBlockCache(-cacheShare);
}

}  // namespace mdgridio

extern "C" __attribute__((visibility("default")))
const mdgridio::GeoTiffModule MdgridioGeoTiffModule = {
    mdgridio::Create, mdgridio::PutRow, mdgridio::Finish, mdgridio::Discard,
    mdgridio::RemoveFinished};
