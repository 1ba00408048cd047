// The tests a header must pass before any grid is touched.
#pragma once

#include "image/image_header.h"

// The cell width, and also the cell height once the resolutions are equal.
double CellSize(const ImageHeader& header);

// Exact comparison of the column and row resolutions; a resolution that is
// not a number compares as equal.
bool HasEqualResolution(const ImageHeader& header);

// Prints why the image cannot be converted and returns true, or returns
// false for an image that can be.
bool RefuseImageHeader(const ImageHeader& header);
