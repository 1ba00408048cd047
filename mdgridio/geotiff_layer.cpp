#include "mdgridio/geotiff_layer.h"

#include "mdgridio/grid_places.h"

#include <utility>

namespace mdgridio {

bool IsGeoTiffName(const std::string& name) { return LayoutForName(name) == LayoutKind::GeoTiff; }

GeoTiffLayer::~GeoTiffLayer() {
    if (grid != nullptr) module->discard(grid);
}

std::unique_ptr<GeoTiffLayer> CreateGeoTiffLayer(const std::string& name,
                                                 const GridLayout& layout) {
    auto layer = std::make_unique<GeoTiffLayer>();
    layer->name = name;
    layer->layout = layout;
    layer->module = LoadGeoTiffModule();
    if (layer->module == nullptr) return nullptr;
    layer->grid = layer->module->create(name.c_str(), &layout);
    if (layer->grid == nullptr) return nullptr;
    return layer;
}

bool PutGeoTiffRow(GeoTiffLayer& layer, std::int32_t row, const void* cells) {
    return layer.module->putRow(layer.grid, row, cells) == 0;
}

bool FinishGeoTiffLayer(std::unique_ptr<GeoTiffLayer> layer,
                        std::vector<FinishedGeoTiff>& finished) {
    // Room first: once the file is in place, recording it must not fail.
    finished.reserve(finished.size() + 1);
    FinishedGeoTiff grid{layer->name, FileIdentity{}};
    const int result = layer->module->finish(std::exchange(layer->grid, nullptr), &grid.identity);
    if (result != 0) return false;
    finished.push_back(std::move(grid));
    return true;
}

bool RemoveFinishedGeoTiff(FinishedGeoTiff& grid) {
    const GeoTiffModule* module = LoadGeoTiffModule();
    return module != nullptr && module->removeFinished(grid.name.c_str(), &grid.identity) == 0;
}

}  // namespace mdgridio
