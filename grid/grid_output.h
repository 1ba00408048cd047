// The grid side of a conversion: what is passed to the grid library to
// create, window, fill and remove the output grid.
#pragma once

#include <array>

#include "grid/grid_library.h"
#include "image/image_header.h"

inline constexpr int createForWriting = 3;
inline constexpr int accessRowByRow = 1;

// 1 for grids of 32-bit integer cells (byte and integer images), 2 for grids
// of 32-bit float cells (real images).
int CellTypeFor(DataType dataType);

// minX, minY, maxX, maxY: the order in which the library takes a box.
using ExtentBox = std::array<double, 4>;
ExtentBox ExtentBoxOf(const ImageHeader& header);

// Asks the window's columns, then its rows, before comparing either.
bool WindowMatchesImage(const GridLibrary& library, const ImageHeader& header);

// The library's float for a missing cell; a library that cannot tell leaves
// the lowest finite float.
float FetchMissingFloat(const GridLibrary& library);

// Closes the channel (negative after a failed creation) and deletes the grid
// by its name; both results are ignored, there being nothing left to try.
void CleanUpGrid(const GridLibrary& library, int channel, const char* gridName);
