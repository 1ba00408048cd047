// The plain-text ENVI header that lets GDAL and other tools read cells.raw.
#pragma once

#include <string>

#include "mdgridio/grid_layout.h"

namespace mdgridio {

std::string FormatEnviHeader(const GridLayout& layout);

}  // namespace mdgridio
