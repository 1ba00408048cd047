// What is at a folder grid's place, and the removal of a killed run's folder.
#pragma once

#include <string>

#include "mdgridio/grid_places.h"

namespace mdgridio {

PlaceJudgement JudgeFolderGrid(int folder, const std::string& leaf);
PlaceJudgement ClearFolderLeftover(int folder, const std::string& leaf);

}  // namespace mdgridio
