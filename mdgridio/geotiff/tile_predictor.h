// The TIFF predictors, applied row by row within a tile: horizontal
// differencing of 32-bit integers (2), and for floats the byte planes, most
// significant first, differenced byte by byte (3).
#pragma once

#include <cstdint>

#include "mdgridio/grid_layout.h"

namespace mdgridio {

int PredictorFor(CellType cellType);

// In place, over a tile of whole 256-cell rows.
void ApplyPredictor(CellType cellType, std::uint32_t* tile);
void UndoPredictor(CellType cellType, std::uint32_t* tile);

}  // namespace mdgridio
