// What is at a GeoTIFF grid's place, and the removal of a killed run's
// placeholder and temporary file.
#pragma once

#include <string>

#include "mdgridio/grid_places.h"

namespace mdgridio {

PlaceJudgement JudgeGeoTiffGrid(int folder, const std::string& leaf);
PlaceJudgement ClearGeoTiffLeftover(int folder, const std::string& leaf);

}  // namespace mdgridio
