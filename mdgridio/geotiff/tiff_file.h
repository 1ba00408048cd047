// The grid's TIFF file: one band of 32-bit cells in 256 x 256 tiles,
// compressed with ZSTD behind the cell type's predictor. Tiles come
// compressed already; libtiff lays out the file and its directory.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "mdgridio/geotiff/tile_band.h"

namespace mdgridio {

// The fields of an image of 32-bit cells in compressed tiles, as every
// image of the grid's files has them.
bool SetImageFields(TIFF* file, std::int32_t columns, std::int32_t rows, CellType cellType, int level);

class TiffFile {
public:
    TiffFile() = default;
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;
    // Without Close, the file is left without its directory: it is about to be removed.
    ~TiffFile();

    bool Open(const std::string& path, const TileGrid& grid, int level);
    bool WriteTile(std::uint32_t tile, const void* compressed, std::size_t bytes);
    // A tile written before, written again from its cells: libtiff finds
    // room for it and compresses it itself.
    bool RewriteTile(std::uint32_t tile, void* cells);
    // A tile already written, as compressed in the file; empty on failure.
    std::vector<unsigned char> ReadTile(std::uint32_t tile) const;
    // The compressed tiles' bytes together; 0 on failure.
    std::uint64_t StoredBytes() const;
    // Writes the directory; false when that or any earlier write failed.
    bool Close();

private:
    TIFF* file = nullptr;
};

}  // namespace mdgridio
