#include "mdgridio/grid_header_text.h"

#include <charconv>

namespace mdgridio {

namespace {

// Shortest text that reads back as the same double, whatever the locale.
std::string ExactText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string NoDataText(CellType cellType) {
    return cellType == CellType::Integer ? std::to_string(integerNoData)
                                         : ExactText(static_cast<double>(missingFloat));
}

std::string Entry(const std::string& key, const std::string& value) {
    return key + " = " + value + "\n";
}

}  // namespace

std::string FormatGridHeader(const GridLayout& layout) {
    const std::string cellSize = ExactText(layout.cellSize);
    // The form has no "no coordinate system"; "Arbitrary" is what GDAL writes
    // too. The first line and the file type name the form for its readers.
    const std::string mapInfo = "{Arbitrary, 1, 1, " + ExactText(layout.originX) + ", " +
                                ExactText(layout.originY) + ", " + cellSize + ", " + cellSize +
                                ", 0, North}";
    return "ENVI\n" + Entry("samples", std::to_string(layout.columns)) +
           Entry("lines", std::to_string(layout.rows)) + Entry("bands", "1") +
           Entry("header offset", "0") + Entry("file type", "ENVI Standard") +
           Entry("data type", layout.cellType == CellType::Integer ? "3" : "4") +
           Entry("interleave", "bsq") + Entry("byte order", "0") + Entry("map info", mapInfo) +
           Entry("data ignore value", NoDataText(layout.cellType));
}

}  // namespace mdgridio
