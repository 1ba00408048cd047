// Recognises a whole GeoTIFF this library wrote by reading just its header
// and first directory: no TIFF library needed.
#pragma once

#include <cstdint>

namespace mdgridio {

// What the library's GeoTIFF writer puts in the TIFF Software tag.
inline constexpr char geoTiffSoftware[] = "mdgridio";

// True for a TIFF (classic or BigTIFF, either byte order) whose first
// directory's Software tag is geoTiffSoftware and whose file of `size`
// bytes holds all of the tiles (or strips) it lists.
bool IsWholeGeoTiffOfOurs(int file, std::uint64_t size);

}  // namespace mdgridio
