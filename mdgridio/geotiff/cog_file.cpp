#include "mdgridio/geotiff/cog_file.h"

#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "mdgridio/geotiff/georeferencing.h"
#include "mdgridio/geotiff/tiff_file.h"

namespace mdgridio {

namespace {

struct TiffClose {
    void operator()(TIFF* file) const { TIFFClose(file); }
};

// What readers that know the notes may rely on: directories first, and
// each image's tiles in row order.
const char layoutNotes[] = "LAYOUT=IFDS_BEFORE_DATA\nBLOCK_ORDER=ROW_MAJOR\nKNOWN_INCOMPATIBLE_EDITION=NO\n";

bool WriteLayoutNotes(TIFF* file, bool big) {
    char heading[64];
    const int length = std::snprintf(heading, sizeof heading, "GDAL_STRUCTURAL_METADATA_SIZE=%06zu bytes\n",
                                     sizeof layoutNotes - 1);
    const std::string notes = std::string(heading, std::size_t(length)) + layoutNotes;
    // Right behind the header; libtiff puts the first directory after them.
    return pwrite(TIFFFileno(file), notes.data(), notes.size(), big ? 16 : 8) == ssize_t(notes.size());
}

bool WriteDirectory(TIFF* file, const GridLayout& layout, int level, std::size_t index, LevelSize size) {
    const bool fields =
        (index == 0 || TIFFSetField(file, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE) == 1) &&
        SetImageFields(file, size.columns, size.rows, layout.cellType, level) &&
        (index != 0 || WriteGeoreferencing(file, layout));
    return fields && TIFFDeferStrileArrayWriting(file) == 1 && TIFFWriteCheck(file, 1, "cog") == 1 &&
           TIFFWriteDirectory(file) == 1;
}

}  // namespace

bool WriteCogFile(const std::string& path, const GridLayout& layout, int level, const std::vector<CogImage>& images,
                  std::uint64_t storedBytes) {
    std::uint64_t tiles = 0;
    for (const CogImage& image : images) {
        tiles += std::uint64_t((image.size.columns + tileSide - 1) / tileSide) *
                 std::uint64_t((image.size.rows + tileSide - 1) / tileSide);
    }
    // Offsets and sizes of 8 bytes each, and room for the directories.
    const bool big = storedBytes + tiles * 16 + 65536 >= 4294967295u;
    RegisterGeoreferencingTags();
    const std::unique_ptr<TIFF, TiffClose> file(TIFFOpen(path.c_str(), big ? "w8" : "w"));
    if (!file || !WriteLayoutNotes(file.get(), big)) return false;
    for (std::size_t index = 0; index < images.size(); ++index) {
        if (!WriteDirectory(file.get(), layout, level, index, images[index].size)) return false;
    }
    std::vector<std::uint64_t> directories;
    for (std::size_t index = 0; index < images.size(); ++index) {
        if (TIFFSetDirectory(file.get(), tdir_t(index)) != 1) return false;
        directories.push_back(TIFFCurrentDirOffset(file.get()));
    }
    // The tiles' offsets and sizes right behind the directories, as zeros
    // for now: a reader finds every tile with its first request. Written
    // again below, they keep their place.
    for (const std::uint64_t directory : directories) {
        if (TIFFSetSubDirectory(file.get(), directory) != 1 || TIFFForceStrileArrayWriting(file.get()) != 1) {
            return false;
        }
    }
    for (std::size_t index = images.size(); index-- > 0;) {
        if (TIFFSetSubDirectory(file.get(), directories[index]) != 1) return false;
        const auto count = std::uint32_t(TIFFNumberOfTiles(file.get()));
        for (std::uint32_t tile = 0; tile < count; ++tile) {
            std::vector<unsigned char> bytes = images[index].tile(tile);
            if (bytes.empty() ||
                TIFFWriteRawTile(file.get(), tile, bytes.data(), tmsize_t(bytes.size())) != tmsize_t(bytes.size())) {
                return false;
            }
        }
        if (TIFFForceStrileArrayWriting(file.get()) != 1) return false;
    }
    return TIFFFlush(file.get()) == 1;
}

}  // namespace mdgridio
