// A grid as a folder of its cells (cells.raw) and its header (cells.hdr).
#pragma once

#include <memory>
#include <string>

#include "mdgridio/layout_grid.h"

namespace mdgridio {

// Makes the folder (only where nothing exists yet), locks it, and makes
// its empty cell file. The header is written last, so a folder without one
// never passes for a finished grid; the lock is let go once it is.
std::unique_ptr<LayoutGrid> CreateFolderGrid(const std::string& name, const GridLayout& layout);

}  // namespace mdgridio
