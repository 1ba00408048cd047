#include "mdgridio/geotiff/tiff_file.h"

#include <unistd.h>
#include <zstd.h>

#include "mdgridio/geotiff/georeferencing.h"
#include "mdgridio/geotiff/tile_predictor.h"

namespace mdgridio {

namespace {

// libtiff's messages go nowhere: every failure is a return value here.
void QuietLibtiff() {
    static const bool quiet = [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        return true;
    }();
    (void)quiet;
}

// A classic TIFF addresses 4 GB; BigTIFF when even incompressible tiles
// could pass that.
bool MayPassFourGigabytes(const TileGrid& grid) {
    const double largest = double(grid.Tiles()) * double(ZSTD_compressBound(tileCells * 4) + 16) + 65536.0;
    return largest >= 4294967295.0;
}

}  // namespace

TiffFile::~TiffFile() {
    if (file == nullptr) return;
    const int descriptor = TIFFFileno(file);
    TIFFCleanup(file);
    close(descriptor);
}

bool SetImageFields(TIFF* file, std::int32_t columns, std::int32_t rows, CellType cellType, int level) {
    const bool integer = cellType == CellType::Integer;
    return TIFFSetField(file, TIFFTAG_IMAGEWIDTH, std::uint32_t(columns)) == 1 &&
           TIFFSetField(file, TIFFTAG_IMAGELENGTH, std::uint32_t(rows)) == 1 &&
           TIFFSetField(file, TIFFTAG_BITSPERSAMPLE, 32) == 1 && TIFFSetField(file, TIFFTAG_SAMPLESPERPIXEL, 1) == 1 &&
           TIFFSetField(file, TIFFTAG_SAMPLEFORMAT, integer ? SAMPLEFORMAT_INT : SAMPLEFORMAT_IEEEFP) == 1 &&
           TIFFSetField(file, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) == 1 &&
           TIFFSetField(file, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1 &&
           TIFFSetField(file, TIFFTAG_TILEWIDTH, std::uint32_t(tileSide)) == 1 &&
           TIFFSetField(file, TIFFTAG_TILELENGTH, std::uint32_t(tileSide)) == 1 &&
           TIFFSetField(file, TIFFTAG_COMPRESSION, COMPRESSION_ZSTD) == 1 &&
           TIFFSetField(file, TIFFTAG_PREDICTOR, PredictorFor(cellType)) == 1 &&
           TIFFSetField(file, TIFFTAG_ZSTD_LEVEL, level) == 1 &&
           TIFFSetField(file, TIFFTAG_SOFTWARE, "mdgridio") == 1;
}

bool TiffFile::Open(const std::string& path, const TileGrid& grid, int level) {
    QuietLibtiff();
    RegisterGeoreferencingTags();
    file = TIFFOpen(path.c_str(), MayPassFourGigabytes(grid) ? "w8" : "w");
    if (file == nullptr) return false;
    return SetImageFields(file, grid.layout.columns, grid.layout.rows, grid.layout.cellType, level) &&
           WriteGeoreferencing(file, grid.layout);
}

bool TiffFile::WriteTile(std::uint32_t tile, const void* compressed, std::size_t bytes) {
    return TIFFWriteRawTile(file, tile, const_cast<void*>(compressed), tmsize_t(bytes)) == tmsize_t(bytes);
}

bool TiffFile::RewriteTile(std::uint32_t tile, void* cells) {
    const tmsize_t bytes = tmsize_t(tileCells * 4);
    return TIFFWriteEncodedTile(file, tile, cells, bytes) == bytes;
}

std::vector<unsigned char> TiffFile::ReadTile(std::uint32_t tile) const {
    std::uint64_t* offsets = nullptr;
    std::uint64_t* sizes = nullptr;
    if (TIFFGetField(file, TIFFTAG_TILEOFFSETS, &offsets) != 1 ||
        TIFFGetField(file, TIFFTAG_TILEBYTECOUNTS, &sizes) != 1 || offsets == nullptr || sizes == nullptr) {
        return {};
    }
    std::vector<unsigned char> bytes(sizes[tile]);
    const ssize_t read = pread(TIFFFileno(file), bytes.data(), bytes.size(), off_t(offsets[tile]));
    if (read < 0 || std::size_t(read) != bytes.size()) return {};
    return bytes;
}

std::uint64_t TiffFile::StoredBytes() const {
    std::uint64_t* sizes = nullptr;
    if (TIFFGetField(file, TIFFTAG_TILEBYTECOUNTS, &sizes) != 1 || sizes == nullptr) return 0;
    std::uint64_t total = 0;
    for (tmsize_t tile = 0; tile < TIFFNumberOfTiles(file); ++tile) total += sizes[tile];
    return total;
}

bool TiffFile::Close() {
    const bool flushed = TIFFFlush(file) == 1;
    TIFF* closing = file;
    file = nullptr;
    TIFFClose(closing);
    return flushed;
}

}  // namespace mdgridio
