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

struct MapInfoSystem {
    std::string name;
    std::string details;  // what follows the cell size
};

constexpr std::string_view utmSouth = ", South, WGS-84";
constexpr std::string_view utmNorth = ", North, WGS-84";
constexpr std::string_view geographicName = "Geographic Lat/Lon";
constexpr std::string_view geographicDetails = ", WGS-84";
constexpr std::string_view mapInfoGrid = ", 1, 1, ";

// How the map info line names the grid's system: the form's own names where
// it has them (with UTM's zone and hemisphere, and the datum), else the
// system's own name. Readers that know the WKT line take the system from it.
MapInfoSystem MapInfoNaming(const CoordinateSystem& system) {
    // The form has no "no coordinate system"; "Arbitrary" is what GDAL writes too.
    if (!system.IsGiven()) return {"Arbitrary", ", 0, North"};
    const int code = system.epsgCode;
    if (code >= 32601 && code <= 32660) return {"UTM", ", " + std::to_string(code - 32600) + std::string(utmNorth)};
    if (code >= 32701 && code <= 32760) return {"UTM", ", " + std::to_string(code - 32700) + std::string(utmSouth)};
    if (code == 4326) return {std::string(geographicName), std::string(geographicDetails)};
    std::string name;
    for (const char c : system.name) {
        if (c != ',' && c != '{' && c != '}' && static_cast<unsigned char>(c) >= 0x20) name += c;
    }
    return {name.empty() ? "unknown" : name, ""};
}

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

// The system a header names, as far as its text must be written again: the
// WKT line, and the map info's naming of it (`details` ends at the brace).
CoordinateSystem SystemNamed(std::string_view wktEntry, std::string_view name, std::string_view details) {
    CoordinateSystem system;
    if (wktEntry.size() < 2 || wktEntry.front() != '{' || wktEntry.back() != '}') return system;
    system.wkt = std::string(wktEntry.substr(1, wktEntry.size() - 2));
    system.name = std::string(name);
    int zone = 0;
    if (name == "UTM" && details.starts_with(", ") && (details.remove_prefix(2), ReadNumber(details, zone, ""))) {
        if (details == utmNorth) system.epsgCode = 32600 + zone;
        if (details == utmSouth) system.epsgCode = 32700 + zone;
    }
    if (name == geographicName && details == geographicDetails) system.epsgCode = 4326;
    return system;
}

}  // namespace

std::string FormatGridHeader(const GridLayout& layout) {
    const std::string cellSize = ExactText(layout.cellSize);
    // The first line and the file type name the form for its readers.
    const MapInfoSystem naming = MapInfoNaming(layout.system);
    const std::string mapInfo = "{" + naming.name + std::string(mapInfoGrid) + ExactText(layout.originX) +
                                ", " + ExactText(layout.originY) + ", " + cellSize + ", " + cellSize +
                                naming.details + "}";
    const std::string system =
        layout.system.IsGiven() ? Entry("coordinate system string", "{" + layout.system.wkt + "}") : "";
    return "ENVI\n" + Entry("samples", std::to_string(layout.columns)) +
           Entry("lines", std::to_string(layout.rows)) + Entry("bands", "1") +
           Entry("header offset", "0") + Entry("file type", "ENVI Standard") +
           Entry("data type", layout.cellType == CellType::Integer ? "3" : "4") +
           Entry("interleave", "bsq") + Entry("byte order", "0") + Entry("map info", mapInfo) + system +
           Entry("data ignore value", NoDataText(layout.cellType));
}

// Read back the few values the header is made from, then written again:
// only the very text this library writes comes out the same.
std::optional<GridLayout> ParseGridHeader(std::string_view text) {
    GridLayout layout;
    std::string_view columns = Value(text, "samples"), rows = Value(text, "lines");
    std::string_view dataType = Value(text, "data type"), mapInfo = Value(text, "map info");
    int type = 0;
    const std::size_t nameEnd = mapInfo.find(mapInfoGrid);
    if (!ReadNumber(columns, layout.columns, "") || !ReadNumber(rows, layout.rows, "") ||
        !ReadNumber(dataType, type, "") || !mapInfo.starts_with('{') || !mapInfo.ends_with('}') ||
        nameEnd == std::string_view::npos) {
        return std::nullopt;
    }
    layout.cellType = type == 3 ? CellType::Integer : CellType::Float;
    const std::string_view name = mapInfo.substr(1, nameEnd - 1);
    mapInfo.remove_prefix(nameEnd + mapInfoGrid.size());
    double cellHeight = 0;
    if (!ReadNumber(mapInfo, layout.originX, ", ") || !ReadNumber(mapInfo, layout.originY, ", ") ||
        !ReadNumber(mapInfo, layout.cellSize, ", ") || !ReadNumber(mapInfo, cellHeight, "") ||
        layout.columns < 1 || layout.rows < 1) {
        return std::nullopt;
    }
    mapInfo.remove_suffix(1);
    layout.system = SystemNamed(Value(text, "coordinate system string"), name, mapInfo);
    if (FormatGridHeader(layout) != text) return std::nullopt;
    return layout;
}

}  // namespace mdgridio
