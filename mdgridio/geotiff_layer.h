// Grids named "*.tif" or "*.tiff" (any case): one GeoTIFF file each, written
// by the GeoTIFF module, instead of a folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mdgridio/geotiff_module.h"
#include "mdgridio/grid_layout.h"

namespace mdgridio {

bool IsGeoTiffName(const std::string& name);

// An open GeoTIFF grid; ending it without FinishGeoTiffLayer removes its files.
struct GeoTiffLayer {
    std::string name;
    GridLayout layout;
    const GeoTiffModule* module = nullptr;
    GeoTiffGrid* grid = nullptr;

    GeoTiffLayer() = default;
    GeoTiffLayer(const GeoTiffLayer&) = delete;
    GeoTiffLayer& operator=(const GeoTiffLayer&) = delete;
    ~GeoTiffLayer();
};

// A finished grid made here: deleting it removes the file only while the
// name still holds that very file.
struct FinishedGeoTiff {
    std::string name;
    FileIdentity identity;
};

// Null when the name is taken (the grid's own or "<name>.partial"), or
// without the module.
std::unique_ptr<GeoTiffLayer> CreateGeoTiffLayer(const std::string& name, const GridLayout& layout);

bool PutGeoTiffRow(GeoTiffLayer& layer, std::int32_t row, const void* cells);

// The file is in place, or, for a grid whose last row was never written or
// whose writing failed, both files are gone.
bool FinishGeoTiffLayer(std::unique_ptr<GeoTiffLayer> layer,
                        std::vector<FinishedGeoTiff>& finished);

// Removes a grid this process finished; false when the name holds
// something else by now.
bool RemoveFinishedGeoTiff(FinishedGeoTiff& grid);

}  // namespace mdgridio
