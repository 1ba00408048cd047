// The grids this process made, whichever their layout: which are open on
// which channel, and which it may delete (only its own).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mdgridio/layout_grid.h"

namespace mdgridio {

struct MadeGrid {
    std::string name;
    std::unique_ptr<LayoutGrid> grid;
    int channel = -1;  // -1 once closed
};

struct MadeGrids {
    std::vector<MadeGrid> grids;
};

// The lowest free channel, with room made for one more record, so that
// recording a new grid once it exists cannot fail.
int PrepareForNewGrid(MadeGrids& made);

// Null for a negative, unknown or closed channel.
MadeGrid* FindOpenGrid(MadeGrids& made, int channel);

// The grid made here under that name that the name still holds; null
// otherwise (never made here, or removed and made again by someone else).
MadeGrid* FindGridAtName(MadeGrids& made, const std::string& name);

void ForgetGrid(MadeGrids& made, const MadeGrid* grid);

}  // namespace mdgridio
