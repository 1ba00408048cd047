#include "tools/image_description.h"

#include <algorithm>
#include <cmath>

namespace {

// A reader compares the two resolutions exactly, so an extent that only
// nearly matches would be refused there.
bool HasExactResolution(const ImageDescription& description) {
    const double columnResolution = (MaxX(description) - description.minX) / description.columns;
    const double rowResolution = (MaxY(description) - description.minY) / description.rows;
    return columnResolution == rowResolution;
}

bool IsPrintable(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char character) {
        const auto code = static_cast<unsigned char>(character);
        return code >= 0x20 && code != 0x7F;
    });
}

}  // namespace

double MaxX(const ImageDescription& description) {
    return description.minX + description.columns * description.cellSize;
}

double MaxY(const ImageDescription& description) {
    return description.minY + description.rows * description.cellSize;
}

std::int64_t CellCount(const ImageDescription& description) {
    return std::int64_t{description.columns} * description.rows;
}

std::string_view DescriptionProblem(const ImageDescription& description) {
    if (description.columns < 1 || description.rows < 1)
        return "an image needs at least one column and one row";
    if (description.layout == Layout::Packed && description.cellType == ImageCellType::Real)
        return "the packed layout holds byte and integer cells only";
    if (!(description.cellSize > 0) || !std::isfinite(description.cellSize))
        return "the cell size must be a positive number";
    if (!std::isfinite(description.minX) || !std::isfinite(description.minY) ||
        !std::isfinite(MaxX(description)) || !std::isfinite(MaxY(description)))
        return "the extent must be finite";
    if (!HasExactResolution(description))
        return "the column and row resolutions come out unequal; whole-number corners "
               "and cell size avoid that";
    if (description.note.size() > noteLimit || !IsPrintable(description.note))
        return "the note must be at most 60 printable characters";
    return {};
}
