#include "mdgridio/layout_grid.h"

#include "mdgridio/folder/folder_grid.h"
#include "mdgridio/geotiff/geotiff_file_grid.h"
#include "mdgridio/grid_places.h"

namespace mdgridio {

std::unique_ptr<LayoutGrid> CreateLayoutGrid(const std::string& name, const GridLayout& layout) {
    switch (LayoutForName(name)) {
        case LayoutKind::GeoTiff: return CreateGeoTiffGrid(name, layout);
        case LayoutKind::Folder: break;
    }
    return CreateFolderGrid(name, layout);
}

}  // namespace mdgridio
