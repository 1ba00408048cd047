// One grid made by this process, whichever its layout. Each layout (a
// folder, one GeoTIFF file) is one implementation of this and of the
// judging and clearing of its place (grid_places.h); a third layout is one
// more of each.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mdgridio/grid_layout.h"

namespace mdgridio {

class LayoutGrid {
public:
    LayoutGrid() = default;
    LayoutGrid(const LayoutGrid&) = delete;
    LayoutGrid& operator=(const LayoutGrid&) = delete;
    virtual ~LayoutGrid() = default;

    virtual const GridLayout& Dimensions() const = 0;
    // Writes one row of the grid's columns while it is open; a row written
    // again overwrites. A write failure fails the grid.
    virtual bool PutRow(std::int32_t row, const void* cells) = 0;
    // Ends writing: true with the grid whole at its name. A grid whose last
    // row was never written, or whose writing failed, is left unfinished,
    // for its caller to remove.
    virtual bool Finish() = 0;
    // True while its name still holds the grid made here.
    virtual bool IsAtItsName() const = 0;
    // Removes its files, open or finished, only while they are still the
    // ones made here; no longer open either way.
    virtual bool Remove() = 0;
};

// Picks the layout by the name (LayoutForName). Null on failure, leaving
// nothing behind.
std::unique_ptr<LayoutGrid> CreateLayoutGrid(const std::string& name, const GridLayout& layout);

}  // namespace mdgridio
