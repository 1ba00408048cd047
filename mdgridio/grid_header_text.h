// The plain-text header, in a form GDAL and the tools built on it read,
// that describes cells.raw.
#pragma once

#include <string>

#include "mdgridio/grid_layout.h"

namespace mdgridio {

std::string FormatGridHeader(const GridLayout& layout);

}  // namespace mdgridio
