// The coordinate system module: resolves what MDGRIDIO_SRS names through
// PROJ into what the grid's files state. PROJ prints nothing here.
#include <strings.h>

#include <new>
#include <string>

#include "mdgridio/srs/geotiff_keys.h"
#include "mdgridio/srs/proj_objects.h"
#include "mdgridio/srs/srs_module.h"

namespace mdgridio {

namespace {

// "+proj=..." strings name an operation unless they say they are a system.
std::string AsSystemDefinition(const std::string& text) {
    const bool projString = text.rfind("+proj=", 0) == 0 || text.rfind("proj=", 0) == 0;
    const bool saysSystem = text.find("type=crs") != std::string::npos;
    return projString && !saysSystem ? text + " +type=crs" : text;
}

// PROJ takes a bare name as the nearest name it knows ("nope" for a system
// of a moon named Sinope): a name must be the system's own.
bool NameMatches(const std::string& text, PJ* system) {
    if (text.find_first_of(":[{=") != std::string::npos) return true;  // not a name
    const char* name = proj_get_name(system);
    return name != nullptr && strcasecmp(name, text.c_str()) == 0;
}

// The horizontal system a bound system (one with a shift to WGS 84) is about.
PJ_TYPE HorizontalType(PJ_CONTEXT* context, PJ* system) {
    if (proj_get_type(system) != PJ_TYPE_BOUND_CRS) return proj_get_type(system);
    const ProjObject source(proj_get_source_crs(context, system));
    return source ? proj_get_type(source.get()) : PJ_TYPE_UNKNOWN;
}

// A header line holds the text between braces: nothing may end it early.
bool FitsHeaderLine(const std::string& text) {
    for (const char c : text) {
        if (c == '{' || c == '}' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

bool Resolve(const char* text, CoordinateSystem& resolved) {
    const ProjContext context(proj_context_create());
    if (!context) return false;
    proj_log_level(context.get(), PJ_LOG_NONE);
    ProjObject system(proj_create(context.get(), AsSystemDefinition(text).c_str()));
    if (!system || !NameMatches(text, system.get())) return false;
    const PJ_TYPE type = HorizontalType(context.get(), system.get());
    if (type != PJ_TYPE_GEOGRAPHIC_2D_CRS && type != PJ_TYPE_PROJECTED_CRS) return false;

    ProjObject identified;
    resolved.epsgCode = EpsgCode(context.get(), system.get(), identified);
    // A GeoTIFF key holds codes up to 32766 only.
    if (resolved.epsgCode == 0 || resolved.epsgCode > 32766) {
        resolved.geoKeys = GeoKeysOf(context.get(), system.get());
    }
    // The database's own definition carries its code into the WKT.
    if (identified) system = std::move(identified);
    const char* const options[] = {"MULTILINE=NO", nullptr};
    const char* wkt = proj_as_wkt(context.get(), system.get(), PJ_WKT1_GDAL, options);
    const char* name = proj_get_name(system.get());
    if (wkt == nullptr || !FitsHeaderLine(wkt)) return false;
    resolved.wkt = wkt;
    resolved.name = name != nullptr ? name : "";
    resolved.geographic = type == PJ_TYPE_GEOGRAPHIC_2D_CRS;
    return true;
}

int ResolveSystem(const char* text, CoordinateSystem* system) {
    if (text == nullptr || system == nullptr) return -1;
    try {
        CoordinateSystem resolved;
        if (!Resolve(text, resolved)) return -1;
        *system = std::move(resolved);
        return 0;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

}  // namespace

}  // namespace mdgridio

extern "C" __attribute__((visibility("default"))) const mdgridio::SrsModule MdgridioSrsModule{
    &mdgridio::ResolveSystem};
