// Recognises a whole GeoTIFF this library wrote by reading just its header
// and first directory: no TIFF library needed.
#pragma once

#include <cstdint>
#include <functional>

namespace mdgridio {

// What the library's GeoTIFF writer puts in the TIFF Software tag.
inline constexpr char geoTiffSoftware[] = "mdgridio";

// Reads exactly `length` bytes at `at`; false when it cannot.
using ReadAt = std::function<bool(std::uint64_t at, void* target, std::uint64_t length)>;

// True for a TIFF (classic or BigTIFF, either byte order) whose first
// directory's Software tag is geoTiffSoftware and whose file of `size`
// bytes holds all of the tiles (or strips) it lists.
bool IsWholeGeoTiffOfOurs(const ReadAt& readAt, std::uint64_t size);

#ifndef _WIN32
// The same for a file open as `file`.
bool IsWholeGeoTiffOfOurs(int file, std::uint64_t size);
#endif

}  // namespace mdgridio
