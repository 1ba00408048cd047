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


// Key directory version 1.1.0, then keys of four numbers each: the key, where
// its value is (0: in the entry), how many values, the value.
constexpr std::uint16_t modelTypeKey = 1024, rasterTypeKey = 1025;
constexpr std::uint16_t geographicSystemKey = 2048, projectedSystemKey = 3072;
constexpr std::uint16_t projectedModel = 1, geographicModel = 2, cellsAreAreas = 1;

// Geographic keys say what the coordinates are in, here through the
// system's EPSG code. A grid without a system gets no keys: a directory
// holding only the raster type makes readers look for one and complain, and
// without keys readers take cells as areas, the tiepoint being the corner of
// cell (0, 0). A system without an EPSG code fails the grid: its parameters
// have no keys here, and a grid in no stated system would pass for one in
// none.
bool WriteKeyDirectory(TIFF* file, const CoordinateSystem& system) {
    if (!system.IsGiven()) return true;
    if (system.epsgCode <= 0 || system.epsgCode > 32766) return false;
    const auto code = static_cast<std::uint16_t>(system.epsgCode);
    const std::uint16_t keys[] = {1, 1, 0, 3,
                                  modelTypeKey, 0, 1, system.geographic ? geographicModel : projectedModel,
                                  rasterTypeKey, 0, 1, cellsAreAreas,
                                  system.geographic ? geographicSystemKey : projectedSystemKey, 0, 1, code};
    return TIFFSetField(file, keyDirectoryTag, std::uint16_t(sizeof keys / sizeof *keys), keys) == 1;
}

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
           WriteKeyDirectory(file, layout.system) && TIFFSetField(file, noDataTag, noData) == 1;
}

}  // namespace mdgridio
