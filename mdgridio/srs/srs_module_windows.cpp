#include "mdgridio/srs/srs_module.h"

namespace mdgridio {

// PROJ is not part of the Windows build: a system given there fails the grid.
const SrsModule* LoadSrsModule() { return nullptr; }

}  // namespace mdgridio
