// The coordinate system a grid's place is given in, as the grid's files
// state it.
#pragma once

#include <string>

namespace mdgridio {

struct CoordinateSystem {
    std::string wkt;          // WKT1; empty when no system was given
    int epsgCode = 0;         // 0 when the system has none
    bool geographic = false;  // degrees of longitude and latitude, else projected
    std::string name;

    bool IsGiven() const { return !wkt.empty(); }
};

// The system named by MDGRIDIO_SRS: none when it is unset or empty, and
// false when it names nothing PROJ resolves to a two-dimensional system.
// PROJ is loaded only when the variable is set.
bool SystemFromEnvironment(CoordinateSystem& system);

}  // namespace mdgridio
