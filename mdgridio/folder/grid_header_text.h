// The plain-text header, in a form GDAL and the tools built on it read,
// that describes cells.raw.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mdgridio/grid_layout.h"

namespace mdgridio {

std::string FormatGridHeader(const GridLayout& layout);

// The layout of a header this library wrote, byte for byte; empty for any
// other text, however close.
std::optional<GridLayout> ParseGridHeader(std::string_view text);

}  // namespace mdgridio
