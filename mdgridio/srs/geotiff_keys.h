// The GeoTIFF keys that state a system without an EPSG code.
#pragma once

#include <proj.h>

#include <vector>

#include "mdgridio/srs/coordinate_system.h"

namespace mdgridio {

// In id order; empty when GeoTIFF has no keys for the system's projection,
// axes or units.
std::vector<GeoKey> GeoKeysOf(PJ_CONTEXT* context, PJ* system);

}  // namespace mdgridio
