#include "mdgridio/geotiff/georeferencing.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace mdgridio {

namespace {

constexpr ttag_t pixelScaleTag = 33550;
constexpr ttag_t tiepointTag = 33922;
constexpr ttag_t keyDirectoryTag = 34735;
constexpr ttag_t keyValuesTag = 34736;
constexpr ttag_t keyTextsTag = 34737;
constexpr ttag_t noDataTag = 42113;  // the value as text

const TIFFFieldInfo georeferencingFields[] = {
    {pixelScaleTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("PixelScale")},
    {tiepointTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("Tiepoints")},
    {keyDirectoryTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_SHORT, FIELD_CUSTOM, 1, 1, const_cast<char*>("KeyDirectory")},
    {keyValuesTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char*>("KeyValues")},
    {keyTextsTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char*>("KeyTexts")},
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

// A system's keys, by its EPSG code or, without one, by its parts. A grid
// without a system gets no keys: a directory holding only the raster type
// makes readers look for one and complain, and without keys readers take
// cells as areas, the tiepoint being the corner of cell (0, 0). A system
// GeoTIFF has no keys for fails the grid: a grid in no stated system would
// pass for one in none.
bool WriteKeyDirectory(TIFF* file, const CoordinateSystem& system) {
    if (!system.IsGiven()) return true;
    std::vector<GeoKey> keys = system.geoKeys;
    if (system.epsgCode > 0 && system.epsgCode < 32767) {
        keys = {{system.geographic ? geographicSystemKey : projectedSystemKey, std::uint16_t(system.epsgCode), {}, {}}};
    }
    if (keys.empty()) return false;
    keys.insert(keys.begin(), {{modelTypeKey, system.geographic ? geographicModel : projectedModel, {}, {}},
                               {rasterTypeKey, cellsAreAreas, {}, {}}});
    std::vector<std::uint16_t> directory = {1, 1, 0, std::uint16_t(keys.size())};
    std::vector<double> values;
    std::string texts;
    for (const GeoKey& key : keys) {
        if (!key.text.empty()) {
            directory.insert(directory.end(), {key.id, std::uint16_t(keyTextsTag), std::uint16_t(key.text.size() + 1),
                                               std::uint16_t(texts.size())});
            texts += key.text + '|';
        } else if (!key.values.empty()) {
            directory.insert(directory.end(), {key.id, std::uint16_t(keyValuesTag), std::uint16_t(key.values.size()),
                                               std::uint16_t(values.size())});
            values.insert(values.end(), key.values.begin(), key.values.end());
        } else {
            directory.insert(directory.end(), {key.id, 0, 1, key.number});
        }
    }
    return TIFFSetField(file, keyDirectoryTag, std::uint16_t(directory.size()), directory.data()) == 1 &&
           (values.empty() || TIFFSetField(file, keyValuesTag, std::uint16_t(values.size()), values.data()) == 1) &&
           (texts.empty() || TIFFSetField(file, keyTextsTag, texts.c_str()) == 1);
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
