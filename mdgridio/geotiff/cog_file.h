// A Cloud-Optimized GeoTIFF put together from tiles compressed already: a
// block of layout notes after the header, every image file directory (the
// grid's own, then its overviews', largest first), then the tiles, the
// smallest overview's first and the grid's own last, each image's in row
// order. A reader gets every directory with its first request, and a
// zoomed-out view from one overview's tiles.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mdgridio/geotiff/overview_pyramid.h"
#include "mdgridio/grid_layout.h"

namespace mdgridio {

struct CogImage {
    LevelSize size;
    // Tile by index, compressed; empty on failure.
    std::function<std::vector<unsigned char>(std::uint32_t tile)> tile;
};

// images: the grid's own first. storedBytes: the tiles' bytes together, to
// pick classic TIFF or BigTIFF.
bool WriteCogFile(const std::string& path, const GridLayout& layout, int level, const std::vector<CogImage>& images,
                  std::uint64_t storedBytes);

}  // namespace mdgridio
