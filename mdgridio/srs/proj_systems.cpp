// The coordinate system module: resolves what MDGRIDIO_SRS names through
// PROJ into what the grid's files state. PROJ prints nothing here.
#include <proj.h>
#include <strings.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "mdgridio/srs/srs_module.h"

namespace mdgridio {

namespace {

struct ContextDeleter {
    void operator()(PJ_CONTEXT* context) const { proj_context_destroy(context); }
};
struct ObjectDeleter {
    void operator()(PJ* object) const { proj_destroy(object); }
};
struct ListDeleter {
    void operator()(PJ_OBJ_LIST* list) const { proj_list_destroy(list); }
};
struct ConfidenceDeleter {
    void operator()(int* confidence) const { proj_int_list_destroy(confidence); }
};
using Context = std::unique_ptr<PJ_CONTEXT, ContextDeleter>;
using Object = std::unique_ptr<PJ, ObjectDeleter>;

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
    const Object source(proj_get_source_crs(context, system));
    return source ? proj_get_type(source.get()) : PJ_TYPE_UNKNOWN;
}

// The EPSG code the system carries, or that of the one system PROJ finds
// equivalent to it (the same datum, axes and projection; a "+proj=" string's
// system differs only by its name); 0 when there is none, or more than one
// equally good, as for an ellipsoid that several datums use.
int EpsgCode(PJ_CONTEXT* context, PJ* system, Object& identified) {
    const char* authority = proj_get_id_auth_name(system, 0);
    const char* code = proj_get_id_code(system, 0);
    if (authority != nullptr && code != nullptr && std::string(authority) == "EPSG") return std::atoi(code);
    if (proj_get_type(system) == PJ_TYPE_BOUND_CRS) return 0;  // the shift is not in the code
    int* confidenceList = nullptr;
    const std::unique_ptr<PJ_OBJ_LIST, ListDeleter> candidates(
        proj_identify(context, system, "EPSG", nullptr, &confidenceList));
    const std::unique_ptr<int, ConfidenceDeleter> confidence(confidenceList);
    if (!candidates || proj_list_get_count(candidates.get()) == 0) return 0;
    // Best first; below 70 they are not equivalent.
    const int best = confidence.get()[0];
    if (best < 70 || (proj_list_get_count(candidates.get()) > 1 && confidence.get()[1] == best)) return 0;
    Object candidate(proj_list_get(context, candidates.get(), 0));
    const char* candidateCode = candidate ? proj_get_id_code(candidate.get(), 0) : nullptr;
    if (candidateCode == nullptr) return 0;
    identified = std::move(candidate);
    return std::atoi(candidateCode);
}

// A header line holds the text between braces: nothing may end it early.
bool FitsHeaderLine(const std::string& text) {
    for (const char c : text) {
        if (c == '{' || c == '}' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

bool Resolve(const char* text, CoordinateSystem& resolved) {
    const Context context(proj_context_create());
    if (!context) return false;
    proj_log_level(context.get(), PJ_LOG_NONE);
    Object system(proj_create(context.get(), AsSystemDefinition(text).c_str()));
    if (!system || !NameMatches(text, system.get())) return false;
    const PJ_TYPE type = HorizontalType(context.get(), system.get());
    if (type != PJ_TYPE_GEOGRAPHIC_2D_CRS && type != PJ_TYPE_PROJECTED_CRS) return false;

    Object identified;
    resolved.epsgCode = EpsgCode(context.get(), system.get(), identified);
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
