#include "mdgridio/mdgridio.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "mdgridio/geotiff_layer.h"
#include "mdgridio/grid_channels.h"
#include "mdgridio/grid_extent.h"
#include "mdgridio/grid_layer.h"
#include "mdgridio/grid_layout.h"
#include "mdgridio/srs/coordinate_system.h"

namespace {

using namespace mdgridio;

constexpr int createForWriting = 3;
constexpr int rowByRowAccess = 1;
constexpr int failure = -1;

struct Window {
    int columns = 0;
    int rows = 0;
};

GridChannels& Channels() {
    static GridChannels channels;
    return channels;
}

Window& LastWindow() {
    static Window window;
    return window;
}

// The caller's row holds the window's columns: a row of another width
// cannot be written without reading past it or leaving cells out.
bool WindowFitsGrid(const GridLayout& layout) {
    const Window& window = LastWindow();
    const bool windowSet = window.columns > 0;
    return !windowSet || (window.columns == layout.columns && window.rows == layout.rows);
}

void FillBox(const GridExtent& extent, double* box) {
    box[0] = extent.minX;
    box[1] = extent.minY;
    box[2] = extent.maxX;
    box[3] = extent.maxY;
}

// Every byte of the cell file must be reachable with a signed 64-bit offset.
bool FitsFileOffsets(const GridExtent& extent) {
    const std::int64_t rowBytes = extent.columns * cellBytes;
    return extent.rows <= std::numeric_limits<std::int64_t>::max() / rowBytes;
}

std::optional<GridLayout> LayoutFor(int cellType, double cellSize, const double* box) {
    if (cellType != static_cast<int>(CellType::Integer) &&
        cellType != static_cast<int>(CellType::Float)) {
        return std::nullopt;
    }
    const auto extent = FitGridExtent(box, cellSize);
    CoordinateSystem system;
    if (!extent || !FitsFileOffsets(*extent) || !SystemFromEnvironment(system)) return std::nullopt;
    return GridLayout{extent->columns, extent->rows, static_cast<CellType>(cellType),
                      extent->minX,    extent->maxY, cellSize,
                      std::move(system)};
}

int CreateGeoTiff(const char* name, const GridLayout& layout) {
    GridChannels& channels = Channels();
    const int channel = PrepareForNewGrid(channels);
    auto layer = CreateGeoTiffLayer(name, layout);
    if (!layer) return failure;
    channels.openGeoTiffs[static_cast<std::size_t>(channel)] = std::move(layer);
    return channel;
}

int CreateGrid(const char* name, int cellType, double cellSize, const double* box) {
    const auto layout = LayoutFor(cellType, cellSize, box);
    if (name == nullptr || !layout) return failure;
    if (IsGeoTiffName(name)) return CreateGeoTiff(name, *layout);
    GridChannels& channels = Channels();
    const int channel = PrepareForNewGrid(channels);
    CreatedGrid record{name, ++channels.gridsMade, nullptr};
    auto layer = CreateGridLayer(record.name, *layout);
    if (!layer) return failure;
    record.folder = layer->folder;
    layer->gridNumber = record.gridNumber;
    channels.created.push_back(std::move(record));
    channels.open[static_cast<std::size_t>(channel)] = std::move(layer);
    return channel;
}

int CloseGeoTiff(int channel) {
    GridChannels& channels = Channels();
    auto layer = std::move(channels.openGeoTiffs[static_cast<std::size_t>(channel)]);
    try {
        return FinishGeoTiffLayer(std::move(layer), channels.finishedGeoTiffs) ? 0 : failure;
    } catch (const std::bad_alloc&) {
        return failure;
    }
}

int CloseGrid(int channel) {
    if (FindOpenGeoTiff(Channels(), channel) != nullptr) return CloseGeoTiff(channel);
    if (FindOpenGrid(Channels(), channel) == nullptr) return failure;
    // The channel is free again whatever happens next.
    const auto layer = std::move(Channels().open[static_cast<std::size_t>(channel)]);
    try {
        return FinishGridLayer(*layer) ? 0 : failure;
    } catch (const std::bad_alloc&) {
        return failure;
    }
}

// An open grid goes with both its files; a finished one only while its name
// still holds the file made here.
int DeleteGeoTiff(const std::string& name) {
    GridChannels& channels = Channels();
    for (auto& layer : channels.openGeoTiffs) {
        if (layer && layer->name == name) {
            layer.reset();
            return 0;
        }
    }
    auto& finished = channels.finishedGeoTiffs;
    const auto grid = std::find_if(finished.begin(), finished.end(),
                                   [&](const FinishedGeoTiff& made) { return made.name == name; });
    if (grid == finished.end() || !RemoveFinishedGeoTiff(*grid)) return failure;
    finished.erase(grid);
    return 0;
}

int DeleteGrid(const char* name) {
    if (name == nullptr) return failure;
    if (IsGeoTiffName(name)) return DeleteGeoTiff(name);
    GridChannels& channels = Channels();
    const CreatedGrid* grid = FindCreatedGrid(channels, name);
    if (grid == nullptr) return failure;
    // An open grid about to be deleted needs no filling and no header.
    const int channel = FindChannelOf(channels, *grid);
    if (channel >= 0) channels.open[static_cast<std::size_t>(channel)].reset();
    if (!RemoveGridFiles(*grid->folder)) return failure;
    ForgetCreatedGrid(channels, grid);
    return 0;
}

int SetWindow(const double* box, double cellSize, double* outBox) {
    const auto extent = FitGridExtent(box, cellSize);
    if (!extent) return failure;
    LastWindow() = Window{extent->columns, extent->rows};
    if (outBox != nullptr) FillBox(*extent, outBox);
    return 0;
}

}  // namespace

// Nothing may leave these functions as an exception: the caller is C.
extern "C" {

int GridIOSetup(void) { return 0; }

int GridIOExit(void) {
    int result = 0;
    for (std::size_t channel = 0; channel < Channels().open.size(); ++channel) {
        const int number = static_cast<int>(channel);
        const bool open = Channels().open[channel] || FindOpenGeoTiff(Channels(), number);
        if (open && CloseGrid(number) != 0) result = failure;
    }
    return result;
}

int GetMissingFloat(float* missing) {
    if (missing == nullptr) return failure;
    *missing = missingFloat;
    return 0;
}

int CellLyrExists(const char* name) {
    try {
        return name != nullptr && PathExists(name) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        // Unsure is taken as taken: a grid must never be written over.
        return 1;
    }
}

int CellLayerCreate(const char* name, int mode, int access, int cellType, double cellSize,
                    double* box) {
    if (mode != createForWriting || access != rowByRowAccess) return failure;
    try {
        return CreateGrid(name, cellType, cellSize, box);
    } catch (const std::bad_alloc&) {
        return failure;
    }
}

int AccessWindowSet(double* box, double cellSize, double* outBox) {
    return SetWindow(box, cellSize, outBox);
}

int WindowRows(void) { return LastWindow().rows; }

int WindowCols(void) { return LastWindow().columns; }

int PutWindowRow(int channel, int row, const void* cells) {
    if (GeoTiffLayer* tiff = FindOpenGeoTiff(Channels(), channel)) {
        return WindowFitsGrid(tiff->layout) && PutGeoTiffRow(*tiff, row, cells) ? 0 : failure;
    }
    GridLayer* layer = FindOpenGrid(Channels(), channel);
    return layer != nullptr && WindowFitsGrid(layer->layout) && PutGridRow(*layer, row, cells)
               ? 0
               : failure;
}

int CellLyrClose(int channel) { return CloseGrid(channel); }

int CellLyrDelete(const char* name) {
    try {
        return DeleteGrid(name);
    } catch (const std::bad_alloc&) {
        return failure;
    }
}

}  // extern "C"
