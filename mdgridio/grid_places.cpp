#include "mdgridio/grid_places.h"

#include <string_view>

namespace mdgridio {

namespace {

bool EndsWithIgnoringCase(const std::string& name, std::string_view lowerSuffix) {
    if (name.size() < lowerSuffix.size()) return false;
    const std::size_t start = name.size() - lowerSuffix.size();
    for (std::size_t index = 0; index < lowerSuffix.size(); ++index) {
        const char letter = name[start + index];
        const char lower = letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
        if (lower != lowerSuffix[index]) return false;
    }
    return true;
}

}  // namespace

LayoutKind LayoutForName(const std::string& name) {
    return EndsWithIgnoringCase(name, ".tif") || EndsWithIgnoringCase(name, ".tiff")
               ? LayoutKind::GeoTiff
               : LayoutKind::Folder;
}

}  // namespace mdgridio
