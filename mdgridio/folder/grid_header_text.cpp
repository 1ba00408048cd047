#include "mdgridio/folder/grid_header_text.h"

#include <charconv>
#include <cstdint>

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

constexpr std::string_view mapInfoStart = "{Arbitrary, 1, 1, ";

// The value of "key = value" on a line of its own; empty when absent.
std::string_view Value(std::string_view text, std::string_view key) {
    std::string line(1, '\n');
    line.append(key).append(" = ");
    const std::size_t at = text.find(line);
    if (at == std::string_view::npos) return {};
    const std::size_t start = at + line.size();
    return text.substr(start, text.find('\n', start) - start);
}

// A number and what follows it, which must begin with `after`.
template <typename Number>
bool ReadNumber(std::string_view& text, Number& number, std::string_view after) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
    if (result.ec != std::errc()) return false;
    text.remove_prefix(static_cast<std::size_t>(result.ptr - text.data()));
    if (!text.starts_with(after)) return false;
    text.remove_prefix(after.size());
    return true;
}

}  // namespace

std::string FormatGridHeader(const GridLayout& layout) {
    const std::string cellSize = ExactText(layout.cellSize);
    // The form has no "no coordinate system"; "Arbitrary" is what GDAL writes
    // too. The first line and the file type name the form for its readers.
    const std::string mapInfo = std::string(mapInfoStart) + ExactText(layout.originX) + ", " +
                                ExactText(layout.originY) + ", " + cellSize + ", " + cellSize +
                                ", 0, North}";
    return "ENVI\n" + Entry("samples", std::to_string(layout.columns)) +
           Entry("lines", std::to_string(layout.rows)) + Entry("bands", "1") +
           Entry("header offset", "0") + Entry("file type", "ENVI Standard") +
           Entry("data type", layout.cellType == CellType::Integer ? "3" : "4") +
           Entry("interleave", "bsq") + Entry("byte order", "0") + Entry("map info", mapInfo) +
           Entry("data ignore value", NoDataText(layout.cellType));
}

// Read back the few values the header is made from, then written again:
// only the very text this library writes comes out the same.
std::optional<GridLayout> ParseGridHeader(std::string_view text) {
    GridLayout layout;
    std::string_view columns = Value(text, "samples"), rows = Value(text, "lines");
    std::string_view dataType = Value(text, "data type"), mapInfo = Value(text, "map info");
    int type = 0;
    if (!ReadNumber(columns, layout.columns, "") || !ReadNumber(rows, layout.rows, "") ||
        !ReadNumber(dataType, type, "") || !mapInfo.starts_with(mapInfoStart)) {
        return std::nullopt;
    }
    layout.cellType = type == 3 ? CellType::Integer : CellType::Float;
    mapInfo.remove_prefix(mapInfoStart.size());
    if (!ReadNumber(mapInfo, layout.originX, ", ") || !ReadNumber(mapInfo, layout.originY, ", ") ||
        !ReadNumber(mapInfo, layout.cellSize, ", ") || layout.columns < 1 || layout.rows < 1 ||
        FormatGridHeader(layout) != text) {
        return std::nullopt;
    }
    return layout;
}

}  // namespace mdgridio
