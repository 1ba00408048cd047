#include "image/header_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "image/printable_text.h"

namespace {

double RowResolution(const ImageHeader& header) {
    return (header.maxY - header.minY) / static_cast<double>(header.rows);
}

// The image's size and extent have no default: a header without them would
// make a grid from whatever the fields happen to hold.
bool RefuseMissingKey(const ImageHeader& header) {
    for (HeaderKey key : {HeaderKey::Columns, HeaderKey::Rows, HeaderKey::MinX, HeaderKey::MinY,
                          HeaderKey::MaxX, HeaderKey::MaxY}) {
        if (header.HasLineFor(key)) continue;
        std::printf("Image header lacks %s\n", std::string(HeaderKeyText(key)).c_str());
        return true;
    }
    return false;
}

// A value that gives no number, or not the one it shows, would make a grid
// at the wrong place or of the wrong shape, or flag the wrong cells.
bool RefuseUnreadNumber(const ImageHeader& header) {
    for (int key = 0; key < headerKeyCount; ++key) {
        const UnreadNumber& unread = header.unreadNumbers[key];
        if (unread.fault == NumberFault::None) continue;
        const char* problem = "is not a number";
        if (unread.fault == NumberFault::NotWhole) problem = "is not a whole number";
        if (unread.fault == NumberFault::DecimalComma) problem = "has a decimal comma";
        std::printf("Image header value for %s %s: '%s'\n",
                    std::string(HeaderKeyText(static_cast<HeaderKey>(key))).c_str(), problem,
                    PrintableText(unread.value).c_str());
        return true;
    }
    return false;
}

// Refusals of what no later step could read or would read into a grid of
// zeros reported as a success.
bool RefuseUnreadableLayout(const ImageHeader& header) {
    const char* reason = nullptr;
    if (header.columns < 1 || header.rows < 1)
        reason = "Image must have at least one row and one column\n";
    else if (header.dataType == DataType::None)
        reason = "Image data type is missing or not supported\n";
    else if (header.fileType == FileType::None)
        reason = "Image file type is missing or not supported\n";
    else if (header.fileType == FileType::PackedBinary && header.dataType == DataType::Real)
        reason = "Packed binary real images are not supported\n";
    if (reason) std::fputs(reason, stdout);
    return reason != nullptr;
}

// Swapped or equal edges, or one that is not a number, give no grid the
// writer could have meant; resampling, which the resolution test advises,
// would not mend them.
bool RefuseEmptyExtent(const ImageHeader& header) {
    const char* reason = nullptr;
    if (!(header.minX < header.maxX)) reason = "Image header min. X is not less than max. X\n";
    else if (!(header.minY < header.maxY)) reason = "Image header min. Y is not less than max. Y\n";
    if (reason) std::fputs(reason, stdout);
    return reason != nullptr;
}

// How far a resolution may be off through the rounding of the extents'
// decimal text to doubles alone: a few units in the last place of the
// larger edge, spread over the cells. Far from the origin that can be a
// large part of a narrow image's width, so `roundingResolutionLimit` caps it.
double ExtentRounding(double low, double high, std::int32_t cells) {
    constexpr double unitsInLastPlace = 4;
    const double edge = std::max(std::fabs(low), std::fabs(high));
    constexpr double epsilon = std::numeric_limits<double>::epsilon();
    return unitsInLastPlace * epsilon * edge / static_cast<double>(cells);
}

}  // namespace

double CellSize(const ImageHeader& header) {
    return (header.maxX - header.minX) / static_cast<double>(header.columns);
}

bool HasEqualResolution(const ImageHeader& header) {
    const double columnResolution = CellSize(header);
    const double rowResolution = RowResolution(header);
    if (columnResolution == rowResolution) return true;
    if (!std::isfinite(columnResolution) || !std::isfinite(rowResolution)) return false;
    const double size = std::fabs(columnResolution);
    const double rounding = std::max(ExtentRounding(header.minX, header.maxX, header.columns),
                                     ExtentRounding(header.minY, header.maxY, header.rows));
    const double bound = std::max(relativeResolutionBound * size,
                                  std::min(rounding, roundingResolutionLimit * size));
    return std::fabs(columnResolution - rowResolution) <= bound;
}

bool RefuseImageHeader(const ImageHeader& header) {
    if (header.fileType == FileType::Ascii) {
        std::printf("ASCII image types are not supported\n");
        return true;
    }
    if (RefuseMissingKey(header) || RefuseUnreadNumber(header) || RefuseUnreadableLayout(header) ||
        RefuseEmptyExtent(header))
        return true;
    if (!HasEqualResolution(header)) {
        std::printf("ERROR: Image has unequal row/column resolution.\n");
        std::printf("Please use RESAMPLE to correct the discrepancy.\n");
        return true;
    }
    return false;
}
