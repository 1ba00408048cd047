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
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mdgridio/geotiff_files.h"
#include "mdgridio/geotiff_module.h"

namespace mdgridio {

// Rows reach GDAL a row of tiles (a band) at a time: GDAL then starts each
// tile afresh, compresses it once, and fills its part past the grid's edge
// with zeros, which compress best.
struct GeoTiffGrid {
    GridLayout layout;
    std::optional<TakenName> name;
    GDALDatasetH dataset = nullptr;
    std::vector<std::uint32_t> band;  // the rows of the band being written
    std::int32_t bandIndex = -1;
    std::vector<bool> bandsWritten;
    std::int32_t rowsCovered = 0;  // up to the last row written
    bool failed = false;

    GeoTiffGrid() = default;
    GeoTiffGrid(const GeoTiffGrid&) = delete;
    GeoTiffGrid& operator=(const GeoTiffGrid&) = delete;
    // Closes the file, then removes both files unless the grid was put in place.
    ~GeoTiffGrid();
};

namespace {

constexpr std::int32_t tileSide = 256;
// GDAL's block cache only passes tiles on to be compressed and written.
constexpr std::int64_t cachedTiles = 8;

std::atomic<unsigned> gdalFailures{0};

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
        // Threads of GDAL's own have no handler of ours.
        CPLSetErrorHandler(CPLQuietErrorHandler);
        // Everything the grid has fits in the file's tags: no side file.
        CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
        GDALSetCacheMax64(cachedTiles * tileSide * tileSide * cellBytes);
        GDALRegister_GTiff();
        return GDALGetDriverByName("GTiff");
    }();
    return driver;
}

GDALDataType CellDataType(CellType cellType) {
    return cellType == CellType::Integer ? GDT_Int32 : GDT_Float32;
}

double NoDataValue(CellType cellType) {
    return cellType == CellType::Integer ? double{integerNoData} : double{missingFloat};
}

// Predictors as measured: horizontal differencing for integers (twice as
// small as none on smooth surfaces), the floating-point one for floats. No
// compression threads (NUM_THREADS): they made no run faster here, took
// 15 MB more, and GDAL 3.6 once hung in them.
class CreationOptions {
public:
    explicit CreationOptions(CellType cellType) {
        for (const char* option :
             {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256", "COMPRESS=ZSTD", "BIGTIFF=IF_SAFER",
              cellType == CellType::Integer ? "PREDICTOR=2" : "PREDICTOR=3"}) {
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
    // GDAL turns the system into GeoKeys: EPSG code keys where it has one.
    const bool systemSet = !layout.system.IsGiven() ||
                           GDALSetProjection(dataset, layout.system.wkt.c_str()) == CE_None;
    return GDALSetGeoTransform(dataset, transform) == CE_None && systemSet &&
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

std::int32_t FirstRow(std::int32_t band) { return band * tileSide; }

std::int32_t BandRows(const GeoTiffGrid& grid, std::int32_t band) {
    return std::min(tileSide, grid.layout.rows - FirstRow(band));
}

bool TransferBand(GeoTiffGrid& grid, GDALRWFlag direction) {
    const QuietGdal quiet;
    const CPLErr result =
        GDALRasterIO(GDALGetRasterBand(grid.dataset, 1), direction, 0, FirstRow(grid.bandIndex),
                     grid.layout.columns, BandRows(grid, grid.bandIndex), grid.band.data(),
                     grid.layout.columns, BandRows(grid, grid.bandIndex),
                     CellDataType(grid.layout.cellType), 0, 0);
    return result == CE_None && !quiet.Failed();
}

bool WriteBand(GeoTiffGrid& grid) {
    if (grid.bandIndex < 0) return true;
    if (!TransferBand(grid, GF_Write)) return false;
    grid.bandsWritten[static_cast<std::size_t>(grid.bandIndex)] = true;
    return true;
}

// A band not written yet starts as no-data; one written before (rows out
// of order) is read back.
bool StartBand(GeoTiffGrid& grid, std::int32_t band) {
    grid.bandIndex = band;
    if (grid.bandsWritten[static_cast<std::size_t>(band)]) return TransferBand(grid, GF_Read);
    std::fill(grid.band.begin(), grid.band.end(), NoDataBits(grid.layout.cellType));
    return true;
}

bool WriteRow(GeoTiffGrid& grid, std::int32_t row, const void* cells) {
    const std::int32_t band = row / tileSide;
    if (band != grid.bandIndex && !(WriteBand(grid) && StartBand(grid, band))) return false;
    std::memcpy(grid.band.data() + std::size_t(row - FirstRow(band)) * grid.layout.columns, cells,
                std::size_t(grid.layout.columns) * cellBytes);
    return true;
}

// The band in hand, then every band no row was written to, as no-data.
bool WriteRemainingBands(GeoTiffGrid& grid) {
    if (!WriteBand(grid)) return false;
    for (std::size_t band = 0; band < grid.bandsWritten.size(); ++band) {
        if (grid.bandsWritten[band]) continue;
        if (!StartBand(grid, static_cast<std::int32_t>(band)) || !WriteBand(grid)) return false;
    }
    return true;
}

GeoTiffGrid* Create(const char* path, const GridLayout* layout) try {
    auto grid = std::make_unique<GeoTiffGrid>();
    grid->layout = *layout;
    grid->band.resize(std::size_t(std::min(tileSide, layout->rows)) * layout->columns);
    grid->bandsWritten.resize(std::size_t((layout->rows + tileSide - 1) / tileSide));
    auto name = TakeName(path);
    if (!name) return nullptr;
    grid->name.emplace(std::move(*name));
    return OpenDataset(*grid) ? grid.release() : nullptr;
} catch (...) {
    return nullptr;
}

int PutRow(GeoTiffGrid* grid, int row, const void* cells) try {
    if (grid->failed || cells == nullptr || row < 0 || row >= grid->layout.rows) return -1;
    if (!WriteRow(*grid, row, cells)) {
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
    const bool whole = !owned->failed && owned->rowsCovered == owned->layout.rows;
    const bool written = whole && WriteRemainingBands(*owned) && CloseDataset(*owned);
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

GeoTiffGrid::~GeoTiffGrid() { CloseDataset(*this); }

}  // namespace mdgridio

extern "C" __attribute__((visibility("default")))
const mdgridio::GeoTiffModule MdgridioGeoTiffModule = {
    mdgridio::Create, mdgridio::PutRow, mdgridio::Finish, mdgridio::Discard,
    mdgridio::RemoveFinished};
