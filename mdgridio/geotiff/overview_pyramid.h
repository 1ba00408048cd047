// The overviews of a grid: each level halves the one before it (rounding
// up) until one fits in a tile. Integer grids keep the cell at each block's
// top-left corner, so class data keeps its classes; float grids average the
// grid's own cells of the block that hold a value (never an average of
// averages), and a block without any stays no-data.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "mdgridio/geotiff/tile_band.h"
#include "mdgridio/grid_layout.h"

namespace mdgridio {

struct LevelSize {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
};

// The overview levels' sizes, largest first; none for a grid within a tile.
std::vector<LevelSize> OverviewSizes(std::int32_t columns, std::int32_t rows);

class OverviewPyramid {
public:
    // Takes each overview row as it is complete: level 1 is the largest.
    // False fails the pyramid.
    using RowSink = std::function<bool(std::size_t level, std::int32_t row, const std::uint32_t* cells)>;

    OverviewPyramid(CellType cellType, std::int32_t columns, std::int32_t rows, RowSink sink);
    // The grid's next row, top row first.
    bool PutRow(const std::uint32_t* cells);
    // Hands on the last rows of levels below an odd number of rows; false
    // when any level did not get all its rows.
    bool Finish();
    std::size_t Levels() const { return levels.size(); }

private:
    // A row under way: integers its cells; floats per cell the sum of its
    // grid cells that hold a value and their count.
    struct Level {
        LevelSize size;
        std::vector<double> sums;
        std::vector<std::uint32_t> counts;
        std::vector<std::uint32_t> cells;
        std::int32_t rowsIn = 0;
        std::int32_t rowsOut = 0;
    };
    bool FeedNearest(std::size_t level, const std::uint32_t* cells);
    bool FeedAverage(std::size_t level, std::int32_t inputColumns, const double* sums, const std::uint32_t* counts);
    bool Emit(std::size_t level);

    CellType cellType;
    std::int32_t columns;
    std::vector<Level> levels;
    RowSink sink;
};

}  // namespace mdgridio
