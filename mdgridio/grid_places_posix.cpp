#include "mdgridio/folder/folder_place.h"
#include "mdgridio/geotiff/geotiff_place.h"
#include "mdgridio/grid_places.h"

namespace mdgridio {

PlaceJudgement JudgeGridPlace(int folder, const std::string& leaf) {
    return LayoutForName(leaf) == LayoutKind::GeoTiff ? JudgeGeoTiffGrid(folder, leaf)
                                                       : JudgeFolderGrid(folder, leaf);
}

PlaceJudgement ClearLeftover(int folder, const std::string& leaf) {
    return LayoutForName(leaf) == LayoutKind::GeoTiff ? ClearGeoTiffLeftover(folder, leaf)
                                                       : ClearFolderLeftover(folder, leaf);
}

}  // namespace mdgridio
