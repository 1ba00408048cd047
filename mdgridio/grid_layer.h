// One grid being written: its folder, its cell file and which rows are done.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mdgridio/cell_file_writer.h"
#include "mdgridio/grid_files.h"
#include "mdgridio/grid_layout.h"

namespace mdgridio {

struct GridLayer {
    // Shared with the record of grids made here, which may delete it later.
    std::shared_ptr<HeldFolder> folder;
    std::uint64_t gridNumber = 0;  // tells grids made here apart, even of one name
    GridLayout layout;
    CellFileWriter cells;
    // Every row before this one was written or filled with no-data, and none
    // from it on. A row written past it fills the rows it skips, so no per-row
    // record is needed and memory stays the same whatever the grid's size.
    // The grid is whole once it reaches the last row.
    std::int32_t rowsCovered = 0;
    bool failed = false;
};

// Makes the folder (only when nothing exists there yet) and its empty cell
// file. Null on failure, leaving nothing behind.
std::unique_ptr<GridLayer> CreateGridLayer(const std::string& folder, const GridLayout& layout);

// Writes one row of the grid's columns; a row written again overwrites.
bool PutGridRow(GridLayer& layer, std::int32_t row, const void* cells);

// Flushes, closes, and only then writes the header, so a folder without one
// never passes for a finished grid. A grid whose last row was never written,
// or whose folder is no longer at its name, is left unfinished, for its
// caller to delete.
bool FinishGridLayer(GridLayer& layer);

// Removes the files a grid is made of, then its folder, which fails when
// someone else left files there or the folder is no longer at its name.
bool RemoveGridFiles(HeldFolder& folder);

}  // namespace mdgridio
