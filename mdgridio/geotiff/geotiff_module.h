// What the grid library calls in its GeoTIFF module. The module links libtiff
// and libzstd and is loaded only when a grid named "*.tif" is made, so that
// grids of the folder layout never pay for loading them.
#pragma once

#include "mdgridio/geotiff/geotiff_files.h"
#include "mdgridio/grid_layout.h"

namespace mdgridio {

struct GeoTiffGrid;  // the module's own

struct GeoTiffModule {
    // Null on failure, leaving nothing behind.
    GeoTiffGrid* (*create)(const char* name, const GridLayout* layout);
    // 0, or -1 when the row cannot be written; a write failure fails the grid.
    int (*putRow)(GeoTiffGrid* grid, int row, const void* cells);
    // Ends the grid: 0 with the file in place and its identity stored, or -1
    // with both of its files removed.
    int (*finish)(GeoTiffGrid* grid, FileIdentity* finished);
    // Ends the grid, removing both of its files.
    void (*discard)(GeoTiffGrid* grid);
    // Removes a finished grid's file while the name still holds that file: 0, or -1.
    int (*removeFinished)(const char* name, FileIdentity* identity);
};

// Null when this build or this system has no module, or no libtiff or libzstd for it.
const GeoTiffModule* LoadGeoTiffModule();

}  // namespace mdgridio

// The one symbol the module exports: its functions, filled in.
#define GEOTIFF_MODULE_ENTRY "MdgridioGeoTiffModule"
