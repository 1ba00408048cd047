// The name of the file a GeoTIFF grid is written to before it is put in
// place: "<name>.partial" beside it; for a name too long for that in its
// folder, the name's first bytes, "~", 16 hex digits of a hash of the whole
// name (64-bit FNV-1a), then ".partial", so that it still fits.
#pragma once

#include <string>

namespace mdgridio {

std::string GeoTiffTemporaryLeaf(int folder, const std::string& leaf);

}  // namespace mdgridio
