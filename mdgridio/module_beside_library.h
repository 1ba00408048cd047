// Parts of the library that link large libraries of their own (libtiff,
// PROJ) are modules beside it, loaded only when a grid needs them.
#pragma once

namespace mdgridio {

// The exported `symbol` of the module file `file` in this library's own
// folder, loaded by that absolute path and kept loaded to the end of the
// process; null when it cannot be loaded.
const void* LoadModuleBesideLibrary(const char* file, const char* symbol);

}  // namespace mdgridio
