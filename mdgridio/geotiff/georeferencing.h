// Where the grid lies: the GeoTIFF tags for its origin and cell size, the
// key directory (cells are areas, the coordinate system by its EPSG code),
// and the no-data value as readers of GeoTIFF grids expect it.
#pragma once

#include <tiffio.h>

#include "mdgridio/grid_layout.h"

namespace mdgridio {

// Once per process, before any file is opened: makes libtiff know the tags.
void RegisterGeoreferencingTags();

// False also for a coordinate system without an EPSG code.
bool WriteGeoreferencing(TIFF* file, const GridLayout& layout);

}  // namespace mdgridio
