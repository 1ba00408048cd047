// What the grid library calls in its coordinate system module. The module
// links PROJ and is loaded only when MDGRIDIO_SRS is set, so that other runs
// never pay for loading PROJ and its database.
#pragma once

#include "mdgridio/srs/coordinate_system.h"

namespace mdgridio {

struct SrsModule {
    // 0 with the system filled in, or -1 when PROJ cannot resolve the text
    // to a geographic or projected system that WKT1 can state.
    int (*resolve)(const char* text, CoordinateSystem* system);
};

// Null when this build or this system has no module, or no PROJ for it.
const SrsModule* LoadSrsModule();

}  // namespace mdgridio

// The one symbol the module exports: its functions, filled in.
#define SRS_MODULE_ENTRY "MdgridioSrsModule"
