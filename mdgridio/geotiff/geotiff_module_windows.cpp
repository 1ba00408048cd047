#include "mdgridio/geotiff/geotiff_module.h"

namespace mdgridio {

// The Windows builds have no libtiff.
const GeoTiffModule* LoadGeoTiffModule() { return nullptr; }

}  // namespace mdgridio
