#include "mdgridio/mdgridio.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "mdgridio/grid_extent.h"
#include "mdgridio/grid_files.h"
#include "mdgridio/grid_layout.h"
#include "mdgridio/made_grids.h"
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

MadeGrids& Made() {
    static MadeGrids made;
    return made;
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

int CreateGrid(const char* name, int cellType, double cellSize, const double* box) {
    const auto layout = LayoutFor(cellType, cellSize, box);
    if (name == nullptr || !layout) return failure;
    MadeGrids& made = Made();
    const int channel = PrepareForNewGrid(made);
    MadeGrid record{name, nullptr, channel};
    record.grid = CreateLayoutGrid(record.name, *layout);
    if (!record.grid) return failure;
    made.grids.push_back(std::move(record));
    return channel;
}

int CloseGrid(int channel) {
    MadeGrid* record = FindOpenGrid(Made(), channel);
    if (record == nullptr) return failure;
    // The channel is free again whatever happens next.
    record->channel = -1;
    try {
        return record->grid->Finish() ? 0 : failure;
    } catch (const std::bad_alloc&) {
        return failure;
    }
}

// An open grid goes with all its files; a finished one only while its name
// still holds what was made here.
int DeleteGrid(const char* name) {
    if (name == nullptr) return failure;
    MadeGrids& made = Made();
    MadeGrid* record = FindGridAtName(made, name);
    if (record == nullptr) return failure;
    record->channel = -1;
    if (!record->grid->Remove()) return failure;
    ForgetGrid(made, record);
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
    for (const MadeGrid& record : Made().grids) {
        if (record.channel >= 0 && CloseGrid(record.channel) != 0) result = failure;
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
    const MadeGrid* record = FindOpenGrid(Made(), channel);
    return record != nullptr && WindowFitsGrid(record->grid->Dimensions()) &&
                   record->grid->PutRow(row, cells)
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
