#include "mdgridio/geotiff/georeferencing.h"

#include <cstdint>
#include <cstdio>

namespace mdgridio {

namespace {

constexpr ttag_t pixelScaleTag = 33550;
constexpr ttag_t tiepointTag = 33922;
constexpr ttag_t keyDirectoryTag = 34735;
constexpr ttag_t noDataTag = 42113;  // the value as text

const TIFFFieldInfo georeferencingFields[] = {
    {pixelScaleTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("PixelScale")},
    {tiepointTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("Tiepoints")},
    {keyDirectoryTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_SHORT, FIELD_CUSTOM, 1, 1, const_cast<char*>("KeyDirectory")},
    {noDataTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char*>("NoData")},
};

TIFFExtendProc previousExtender = nullptr;

void ExtendTags(TIFF* file) {
    TIFFMergeFieldInfo(file, georeferencingFields, sizeof georeferencingFields / sizeof *georeferencingFields);
    if (previousExtender != nullptr) previousExtender(file);
}


// Geographic keys say what the coordinates are in. A grid has no coordinate
// system, and a directory holding only the raster type makes readers look
// for one and complain, so none is written: readers then take cells as
// areas, the tiepoint being the corner of cell (0, 0).
bool WriteKeyDirectory(TIFF*) { return true; }

}  // namespace

void RegisterGeoreferencingTags() {
    static const bool registered = [] {
        previousExtender = TIFFSetTagExtender(ExtendTags);
        return true;
    }();
    (void)registered;
}

bool WriteGeoreferencing(TIFF* file, const GridLayout& layout) {
    const double scale[3] = {layout.cellSize, layout.cellSize, 0.0};
    // Cell (0, 0)'s corner lies at the west and north edges.
    const double tiepoint[6] = {0.0, 0.0, 0.0, layout.originX, layout.originY, 0.0};
    const bool integer = layout.cellType == CellType::Integer;
    char noData[32];
    if (integer) {
        std::snprintf(noData, sizeof noData, "%d", integerNoData);
    } else {
        std::snprintf(noData, sizeof noData, "%.17g", double{missingFloat});
    }
    return TIFFSetField(file, pixelScaleTag, 3, scale) == 1 && TIFFSetField(file, tiepointTag, 6, tiepoint) == 1 &&
           WriteKeyDirectory(file) && TIFFSetField(file, noDataTag, noData) == 1;
}

}  // namespace mdgridio
