#include "mdgridio/geotiff/geotiff_module.h"
#include "mdgridio/module_beside_library.h"

namespace mdgridio {

const GeoTiffModule* LoadGeoTiffModule() {
    static const auto* const module = static_cast<const GeoTiffModule*>(
        LoadModuleBesideLibrary("libmdgridio_geotiff.so", GEOTIFF_MODULE_ENTRY));
    return module;
}

}  // namespace mdgridio
