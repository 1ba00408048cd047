#include "mdgridio/geotiff/geotiff_file_grid.h"

#include <optional>
#include <utility>

#include "mdgridio/geotiff/geotiff_module.h"

namespace mdgridio {

namespace {

// Ending while open removes both of its files. A finished one is removed
// only while the name still holds that very file.
class GeoTiffFileGrid final : public LayoutGrid {
public:
    GeoTiffFileGrid(const std::string& name, const GridLayout& layout) : name(name), layout(layout) {}
    ~GeoTiffFileGrid() override { Discard(); }

    bool Create() {
        module = LoadGeoTiffModule();
        if (module == nullptr) return false;
        grid = module->create(name.c_str(), &layout);
        return grid != nullptr;
    }

    const GridLayout& Dimensions() const override { return layout; }

    bool PutRow(std::int32_t row, const void* cells) override {
        return grid != nullptr && module->putRow(grid, row, cells) == 0;
    }

    bool Finish() override {
        if (grid == nullptr) return false;
        FileIdentity identity;
        if (module->finish(std::exchange(grid, nullptr), &identity) != 0) return false;
        finished = identity;
        return true;
    }

    bool IsAtItsName() const override { return grid != nullptr || finished.has_value(); }

    bool Remove() override {
        if (grid != nullptr) {
            Discard();
            return true;
        }
        if (!finished || module->removeFinished(name.c_str(), &*finished) != 0) return false;
        finished.reset();
        return true;
    }

private:
    void Discard() {
        if (grid != nullptr) module->discard(std::exchange(grid, nullptr));
    }

    std::string name;
    GridLayout layout;
    const GeoTiffModule* module = nullptr;
    GeoTiffGrid* grid = nullptr;  // while open
    std::optional<FileIdentity> finished;
};

}  // namespace

std::unique_ptr<LayoutGrid> CreateGeoTiffGrid(const std::string& name, const GridLayout& layout) {
    auto grid = std::make_unique<GeoTiffFileGrid>(name, layout);
    if (!grid->Create()) return nullptr;
    return grid;
}

}  // namespace mdgridio
