// The tests a header must pass before any grid is touched.
#pragma once

#include "image/image_header.h"

// The cell width, and also the cell height once the resolutions are equal.
double CellSize(const ImageHeader& header);

// Resolutions that differ by at most this part of the cell size are
// equal: far more than the rounding of decimal extents (`10.9` to `11.0`
// over 120 cells), far less than any resampling would correct.
inline constexpr double relativeResolutionBound = 1e-9;
// Small images far from the origin (30 cm at a northing of 5000 km) may
// differ by more through the rounding of their extents, but never by more
// than this part.
inline constexpr double roundingResolutionLimit = 1e-6;

// Whether the cells are square: the column and row resolutions differ by at
// most `relativeResolutionBound` of the column resolution, or by no more than
// rounding the extents' decimal text to doubles explains, up to
// `roundingResolutionLimit`. For an image with at least one column and row
// and each minimum less than its maximum.
bool HasEqualResolution(const ImageHeader& header);

// Prints why the image cannot be converted and returns true, or returns
// false for an image that can be.
bool RefuseImageHeader(const ImageHeader& header);
