// The GeoTIFF module's overviews against cells worked out from the grid
// itself: integer levels hold the cell at each block's top-left corner;
// float levels the average of the block's cells that hold a value, or
// no-data for a block without any; odd sizes round up.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "mdgridio/geotiff/overview_pyramid.h"

namespace {

using namespace mdgridio;

TEST(OverviewPyramid, LevelsHoldNearestOrAverageOfTheGridsOwnCells) {
    const struct {
        CellType cellType;
        std::int32_t columns, rows;
        std::vector<LevelSize> sizes;
    } cases[] = {
        {CellType::Integer, 600, 300, {{300, 150}, {150, 75}}},
        {CellType::Float, 513, 257, {{257, 129}, {129, 65}}},
        {CellType::Float, 1100, 3, {{550, 2}, {275, 1}, {138, 1}}},
        {CellType::Integer, 256, 256, {}},
    };
    std::mt19937 random(7);
    for (const auto& [cellType, columns, rows, sizes] : cases) {
        SCOPED_TRACE(testing::Message() << columns << " x " << rows);
        const std::uint32_t noData = NoDataBits(cellType);
        // Values in quarters, whose sums are exact; a corner of only no-data.
        std::vector<std::uint32_t> grid(std::size_t(columns) * rows);
        for (std::int32_t row = 0; row < rows; ++row) {
            for (std::int32_t column = 0; column < columns; ++column) {
                const int value = int(random() % 2000) - 1000;
                const bool missing = (row < 64 && column < 64) || random() % 5 == 0;
                grid[std::size_t(row) * columns + column] =
                    missing ? noData
                    : cellType == CellType::Integer ? std::bit_cast<std::uint32_t>(value)
                                                    : std::bit_cast<std::uint32_t>(float(value) / 4);
            }
        }
        std::vector<std::vector<std::uint32_t>> levels(sizes.size() + 1);
        OverviewPyramid pyramid(cellType, columns, rows, [&](std::size_t level, std::int32_t row, const std::uint32_t* cells) {
            const auto width = std::size_t(sizes.at(level - 1).columns);
            EXPECT_EQ(levels[level].size(), std::size_t(row) * width);
            levels[level].insert(levels[level].end(), cells, cells + width);
            return true;
        });
        for (std::int32_t row = 0; row < rows; ++row) ASSERT_TRUE(pyramid.PutRow(&grid[std::size_t(row) * columns]));
        ASSERT_TRUE(pyramid.Finish());
        ASSERT_EQ(pyramid.Levels(), sizes.size());
        for (std::size_t level = 1; level <= sizes.size(); ++level) {
            const LevelSize size = sizes[level - 1];
            ASSERT_EQ(levels[level].size(), std::size_t(size.columns) * size.rows) << level;
            const std::int32_t block = 1 << level;
            for (std::int32_t row = 0; row < size.rows; ++row) {
                for (std::int32_t column = 0; column < size.columns; ++column) {
                    std::uint32_t expected = grid[std::size_t(row * block) * columns + column * block];
                    if (cellType == CellType::Float) {
                        double sum = 0;
                        int count = 0;
                        for (std::int32_t y = row * block; y < std::min(rows, (row + 1) * block); ++y) {
                            for (std::int32_t x = column * block; x < std::min(columns, (column + 1) * block); ++x) {
                                const std::uint32_t cell = grid[std::size_t(y) * columns + x];
                                if (cell != noData) sum += std::bit_cast<float>(cell), ++count;
                            }
                        }
                        expected = count == 0 ? noData : std::bit_cast<std::uint32_t>(float(sum / count));
                    }
                    ASSERT_EQ(levels[level][std::size_t(row) * size.columns + column], expected)
                        << "level " << level << " row " << row << " column " << column;
                }
            }
        }
    }
}

}  // namespace
