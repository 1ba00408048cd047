#include "mdgridio/made_grids.h"

#include <algorithm>

namespace mdgridio {

int PrepareForNewGrid(MadeGrids& made) {
    if (made.grids.size() == made.grids.capacity()) made.grids.reserve(2 * made.grids.size() + 1);
    int channel = 0;
    while (FindOpenGrid(made, channel) != nullptr) ++channel;
    return channel;
}

MadeGrid* FindOpenGrid(MadeGrids& made, int channel) {
    if (channel < 0) return nullptr;
    const auto found = std::find_if(made.grids.begin(), made.grids.end(),
                                    [channel](const MadeGrid& grid) { return grid.channel == channel; });
    return found == made.grids.end() ? nullptr : &*found;
}

MadeGrid* FindGridAtName(MadeGrids& made, const std::string& name) {
    const auto found = std::find_if(made.grids.begin(), made.grids.end(), [&](const MadeGrid& grid) {
        return grid.name == name && grid.grid->IsAtItsName();
    });
    return found == made.grids.end() ? nullptr : &*found;
}

void ForgetGrid(MadeGrids& made, const MadeGrid* grid) {
    made.grids.erase(made.grids.begin() + (grid - made.grids.data()));
}

}  // namespace mdgridio
