// The coordinate system a grid's place is given in, as the grid's files
// state it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mdgridio {

// A GeoTIFF key of a system that has no EPSG code: a code or number, values
// or a text.
struct GeoKey {
    std::uint16_t id = 0;
    std::uint16_t number = 0;  // when values and text are empty
    std::vector<double> values;
    std::string text;
};

struct CoordinateSystem {
    std::string wkt;          // WKT1; empty when no system was given
    int epsgCode = 0;         // 0 when the system has none
    bool geographic = false;  // degrees of longitude and latitude, else projected
    std::string name;
    // For a system without an EPSG code, its keys in id order; empty when
    // GeoTIFF has no keys for its projection.
    std::vector<GeoKey> geoKeys;

    bool IsGiven() const { return !wkt.empty(); }
};

// The system named by MDGRIDIO_SRS: none when it is unset or empty, and
// false when it names nothing PROJ resolves to a two-dimensional system.
// PROJ is loaded only when the variable is set.
bool SystemFromEnvironment(CoordinateSystem& system);

}  // namespace mdgridio
