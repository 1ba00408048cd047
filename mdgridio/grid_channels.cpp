#include "mdgridio/grid_channels.h"

#include <algorithm>

namespace mdgridio {

int PrepareForNewGrid(GridChannels& channels) {
    if (channels.created.size() == channels.created.capacity()) {
        channels.created.reserve(2 * channels.created.size() + 1);
    }
    channels.openGeoTiffs.resize(channels.open.size());
    for (std::size_t channel = 0; channel < channels.open.size(); ++channel) {
        if (!channels.open[channel] && !channels.openGeoTiffs[channel]) return static_cast<int>(channel);
    }
    channels.open.emplace_back();
    channels.openGeoTiffs.emplace_back();
    return static_cast<int>(channels.open.size() - 1);
}

GridLayer* FindOpenGrid(const GridChannels& channels, int channel) {
    if (channel < 0 || static_cast<std::size_t>(channel) >= channels.open.size()) return nullptr;
    return channels.open[static_cast<std::size_t>(channel)].get();
}

GeoTiffLayer* FindOpenGeoTiff(const GridChannels& channels, int channel) {
    if (channel < 0 || static_cast<std::size_t>(channel) >= channels.openGeoTiffs.size()) return nullptr;
    return channels.openGeoTiffs[static_cast<std::size_t>(channel)].get();
}

int FindChannelOf(const GridChannels& channels, const CreatedGrid& grid) {
    const auto found = std::find_if(
        channels.open.begin(), channels.open.end(),
        [&](const auto& layer) { return layer && layer->gridNumber == grid.gridNumber; });
    return found == channels.open.end() ? -1 : static_cast<int>(found - channels.open.begin());
}

const CreatedGrid* FindCreatedGrid(const GridChannels& channels, const std::string& name) {
    const auto found = std::find_if(
        channels.created.begin(), channels.created.end(),
        [&](const CreatedGrid& grid) { return grid.name == name && grid.folder->IsAt(name); });
    return found == channels.created.end() ? nullptr : &*found;
}

void ForgetCreatedGrid(GridChannels& channels, const CreatedGrid* grid) {
    channels.created.erase(channels.created.begin() + (grid - channels.created.data()));
}

}  // namespace mdgridio
