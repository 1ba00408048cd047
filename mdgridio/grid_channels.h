// The grids this process has open, by channel number, and the grids it made,
// which are the only ones it may delete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mdgridio/geotiff_layer.h"
#include "mdgridio/grid_files.h"
#include "mdgridio/grid_layer.h"

namespace mdgridio {

struct CreatedGrid {
    std::string name;
    std::uint64_t gridNumber = 0;
    std::shared_ptr<HeldFolder> folder;
};

struct GridChannels {
    std::vector<std::unique_ptr<GridLayer>> open;  // indexed by channel; null when free
    std::vector<std::unique_ptr<GeoTiffLayer>> openGeoTiffs;  // the same channels' GeoTIFF grids
    std::vector<FinishedGeoTiff> finishedGeoTiffs;
    std::vector<CreatedGrid> created;
    std::uint64_t gridsMade = 0;
};

// The lowest free channel, with room made for one more open grid and one
// more record, so that recording a new grid once it exists cannot fail.
int PrepareForNewGrid(GridChannels& channels);

// Null for a negative, unknown or free channel.
GridLayer* FindOpenGrid(const GridChannels& channels, int channel);
GeoTiffLayer* FindOpenGeoTiff(const GridChannels& channels, int channel);

// -1 when that grid is not open.
int FindChannelOf(const GridChannels& channels, const CreatedGrid& grid);

// The record of a grid made here whose folder is still the one it made;
// null otherwise (never made here, or removed and made again by someone else).
const CreatedGrid* FindCreatedGrid(const GridChannels& channels, const std::string& name);

void ForgetCreatedGrid(GridChannels& channels, const CreatedGrid* grid);

}  // namespace mdgridio
