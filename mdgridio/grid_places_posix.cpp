#include "mdgridio/folder/folder_place.h"
#include "mdgridio/geotiff/geotiff_place.h"
#include "mdgridio/grid_places.h"
#include "mdgridio/place_files.h"

namespace mdgridio {

namespace {

// Only a name inside the folder: never the folder itself or its parent.
bool IsPlainName(const std::string& leaf) {
    return !leaf.empty() && leaf != "." && leaf != ".." && leaf.find('/') == std::string::npos;
}

}  // namespace

PlaceJudgement JudgeGridPlace(FolderHandle folder, const std::string& leaf) {
    if (!IsPlainName(leaf)) return InTheWay(leaf, "not a name inside the folder");
    return LayoutForName(leaf) == LayoutKind::GeoTiff ? JudgeGeoTiffGrid(folder, leaf)
                                                       : JudgeFolderGrid(folder, leaf);
}

PlaceJudgement ClearLeftover(FolderHandle folder, const std::string& leaf) {
    if (!IsPlainName(leaf)) return InTheWay(leaf, "not a name inside the folder");
    return LayoutForName(leaf) == LayoutKind::GeoTiff ? ClearGeoTiffLeftover(folder, leaf)
                                                       : ClearFolderLeftover(folder, leaf);
}

}  // namespace mdgridio
