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

struct MapInfoSystem {
    std::string name;
    std::string details;  // what follows the cell size
};

// How the map info line names the grid's system: the form's own names where
// it has them (with UTM's zone and hemisphere, and the datum), else the
// system's own name. Readers that know the WKT line take the system from it.
MapInfoSystem MapInfoNaming(const CoordinateSystem& system) {
    // The form has no "no coordinate system"; "Arbitrary" is what GDAL writes too.
    if (!system.IsGiven()) return {"Arbitrary", ", 0, North"};
    const int code = system.epsgCode;
    if (code >= 32601 && code <= 32660) return {"UTM", ", " + std::to_string(code - 32600) + ", North, WGS-84"};
    if (code >= 32701 && code <= 32760) return {"UTM", ", " + std::to_string(code - 32700) + ", South, WGS-84"};
    if (code == 4326) return {"Geographic Lat/Lon", ", WGS-84"};
    std::string name;
    for (const char c : system.name) {
        if (c != ',' && c != '{' && c != '}' && static_cast<unsigned char>(c) >= 0x20) name += c;
    }
    return {name.empty() ? "unknown" : name, ""};
}

}  // namespace

std::string FormatGridHeader(const GridLayout& layout) {
    const std::string cellSize = ExactText(layout.cellSize);
    // The first line and the file type name the form for its readers.
    const MapInfoSystem naming = MapInfoNaming(layout.system);
    const std::string mapInfo = "{" + naming.name + ", 1, 1, " + ExactText(layout.originX) + ", " +
                                ExactText(layout.originY) + ", " + cellSize + ", " + cellSize +
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

}  // namespace mdgridio
