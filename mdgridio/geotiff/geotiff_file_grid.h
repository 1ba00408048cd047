// A grid as one GeoTIFF file, for names ending in .tif or .tiff, written
// by the GeoTIFF module (geotiff_module.h), which is loaded only for such
// grids.
#pragma once

#include <memory>
#include <string>

#include "mdgridio/layout_grid.h"

namespace mdgridio {

// Null when the name is taken (the grid's own or its temporary's), or
// without the module.
std::unique_ptr<LayoutGrid> CreateGeoTiffGrid(const std::string& name, const GridLayout& layout);

}  // namespace mdgridio
