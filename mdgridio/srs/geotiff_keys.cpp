#include "mdgridio/srs/geotiff_keys.h"

#include <algorithm>
#include <numbers>
#include <string>

#include "mdgridio/srs/proj_objects.h"

namespace mdgridio {

namespace {

constexpr std::uint16_t userDefined = 32767;
constexpr std::uint16_t degreeCode = 9102, greenwichCode = 8901;
// The degree PROJ gives geographic axes, "supplier to define representation".
constexpr int axisDegreeCode = 9122;

enum : std::uint16_t {
    citationKey = 1026,
    geographicTypeKey = 2048,
    geographicCitationKey = 2049,
    datumKey = 2050,
    primeMeridianKey = 2051,
    angularUnitsKey = 2054,
    ellipsoidKey = 2056,
    semiMajorAxisKey = 2057,
    semiMinorAxisKey = 2058,
    inverseFlatteningKey = 2059,
    primeMeridianLongitudeKey = 2061,
    toWgs84Key = 2062,
    projectedTypeKey = 3072,
    projectionKey = 3074,
    methodKey = 3075,
    linearUnitsKey = 3076,
    linearUnitSizeKey = 3077,
    firstParallelKey = 3078,
    secondParallelKey = 3079,
    originLongitudeKey = 3080,
    originLatitudeKey = 3081,
    falseEastingKey = 3082,
    falseNorthingKey = 3083,
    falseOriginLongitudeKey = 3084,
    falseOriginLatitudeKey = 3085,
    falseOriginEastingKey = 3086,
    falseOriginNorthingKey = 3087,
    centreLongitudeKey = 3088,
    centreLatitudeKey = 3089,
    originScaleKey = 3092,
    poleLongitudeKey = 3095,
};

// EPSG's codes of the parameters.
enum : int {
    originLatitude = 8801,
    originLongitude = 8802,
    originScale = 8805,
    falseEasting = 8806,
    falseNorthing = 8807,
    falseOriginLatitude = 8821,
    falseOriginLongitude = 8822,
    firstParallel = 8823,
    secondParallel = 8824,
    falseOriginEasting = 8826,
    falseOriginNorthing = 8827,
    standardParallel = 8832,
    originOfLongitude = 8833,
};

struct ParameterKey {
    int parameter;
    std::uint16_t key;
};

// A projection method GeoTIFF has keys for: EPSG's code (or PROJ's name for
// one EPSG has none), GeoTIFF's code, and where each parameter goes.
struct Method {
    int epsgCode;
    const char* name;
    std::uint16_t geotiffCode;
    std::vector<ParameterKey> parameters;
};

const std::vector<ParameterKey> naturalOrigin = {{originLatitude, originLatitudeKey},
                                                 {originLongitude, originLongitudeKey},
                                                 {originScale, originScaleKey},
                                                 {falseEasting, falseEastingKey},
                                                 {falseNorthing, falseNorthingKey}};
const std::vector<ParameterKey> originWithoutScale = {{originLatitude, originLatitudeKey},
                                                      {originLongitude, originLongitudeKey},
                                                      {falseEasting, falseEastingKey},
                                                      {falseNorthing, falseNorthingKey}};
const std::vector<ParameterKey> centre = {{originLatitude, centreLatitudeKey},
                                          {originLongitude, centreLongitudeKey},
                                          {falseEasting, falseEastingKey},
                                          {falseNorthing, falseNorthingKey}};
const std::vector<ParameterKey> centralMeridian = {{originLongitude, centreLongitudeKey},
                                                   {falseEasting, falseEastingKey},
                                                   {falseNorthing, falseNorthingKey}};

const std::vector<Method>& Methods() {
    static const std::vector<Method> methods = {
        {9807, "", 1, naturalOrigin},
        {9804, "", 7, naturalOrigin},
        {9805, "", 7,
         {{firstParallel, firstParallelKey}, {originLongitude, originLongitudeKey},
          {falseEasting, falseEastingKey}, {falseNorthing, falseNorthingKey}}},
        {9802, "", 8,
         {{falseOriginLatitude, falseOriginLatitudeKey}, {falseOriginLongitude, falseOriginLongitudeKey},
          {firstParallel, firstParallelKey}, {secondParallel, secondParallelKey},
          {falseOriginEasting, falseOriginEastingKey}, {falseOriginNorthing, falseOriginNorthingKey}}},
        {9801, "", 9, naturalOrigin},
        {9820, "", 10, centre},
        {9822, "", 11,
         {{falseOriginLatitude, originLatitudeKey}, {falseOriginLongitude, originLongitudeKey},
          {firstParallel, firstParallelKey}, {secondParallel, secondParallelKey},
          {falseOriginEasting, falseEastingKey}, {falseOriginNorthing, falseNorthingKey}}},
        {9810, "", 15,
         {{originLatitude, originLatitudeKey}, {originLongitude, poleLongitudeKey}, {originScale, originScaleKey},
          {falseEasting, falseEastingKey}, {falseNorthing, falseNorthingKey}}},
        // Readers take a latitude of origin short of a pole as variant B's
        // standard parallel.
        {9829, "", 15,
         {{standardParallel, originLatitudeKey}, {originOfLongitude, poleLongitudeKey},
          {falseEasting, falseEastingKey}, {falseNorthing, falseNorthingKey}}},
        {9809, "", 16, naturalOrigin},
        {9806, "", 18, originWithoutScale},
        {9818, "", 22, originWithoutScale},
        {9840, "", 21, centre},
        {9832, "", 12, centre},
        {1028, "", 17,
         {{firstParallel, firstParallelKey}, {originLatitude, centreLatitudeKey},
          {originLongitude, centreLongitudeKey}, {falseEasting, falseEastingKey}, {falseNorthing, falseNorthingKey}}},
        {0, "Miller Cylindrical", 20, centralMeridian},
        {0, "Sinusoidal", 24, centralMeridian},
        {0, "Robinson", 23, centralMeridian},
        {0, "Van Der Grinten", 25, centralMeridian},
    };
    return methods;
}

const Method* MethodOf(PJ_CONTEXT* context, PJ* conversion) {
    const char* name = nullptr;
    const char* authority = nullptr;
    const char* code = nullptr;
    if (proj_coordoperation_get_method_info(context, conversion, &name, &authority, &code) != 1) return nullptr;
    const int epsgCode = EpsgNumber(authority, code);
    for (const Method& method : Methods()) {
        const bool found = method.epsgCode != 0 ? epsgCode == method.epsgCode
                                                : name != nullptr && std::string(name) == method.name;
        if (found) return &method;
    }
    return nullptr;
}

// The object's EPSG code where a key holds it, else 0.
int KeyCodeOf(PJ* object) {
    const int value = EpsgNumber(proj_get_id_auth_name(object, 0), proj_get_id_code(object, 0));
    return value > 0 && value < userDefined ? value : 0;
}

// GeoTIFF ends each text with '|'.
std::string Citation(PJ* object) {
    const char* name = proj_get_name(object);
    std::string text = name != nullptr ? name : "unnamed";
    std::replace(text.begin(), text.end(), '|', '/');
    return text;
}

constexpr double radiansToDegrees = 180.0 / std::numbers::pi;

struct Keys {
    std::vector<GeoKey> keys;
    void Code(std::uint16_t id, std::uint16_t code) { keys.push_back({id, code, {}, {}}); }
    void Values(std::uint16_t id, std::vector<double> values) { keys.push_back({id, 0, std::move(values), {}}); }
    void Text(std::uint16_t id, std::string text) { keys.push_back({id, 0, {}, std::move(text)}); }
};

// The unit of an axis: its conversion factor to metres or radians, and
// EPSG's code for it (0 when it has none). A system's two axes, in order.
struct AxisUnit {
    double factor = 0.0;
    int code = 0;
};

bool AxisUnits(PJ_CONTEXT* context, PJ* system, AxisUnit& first, AxisUnit& second) {
    const ProjObject axes(proj_crs_get_coordinate_system(context, system));
    if (!axes || proj_cs_get_axis_count(context, axes.get()) != 2) return false;
    for (int index = 0; index < 2; ++index) {
        AxisUnit& unit = index == 0 ? first : second;
        const char* authority = nullptr;
        const char* code = nullptr;
        if (proj_cs_get_axis_info(context, axes.get(), index, nullptr, nullptr, nullptr, &unit.factor, nullptr,
                                  &authority, &code) != 1) {
            return false;
        }
        unit.code = EpsgNumber(authority, code);
    }
    return true;
}

// Datum, ellipsoid and prime meridian, by EPSG code where they have one.
bool AddGeographic(PJ_CONTEXT* context, PJ* geographic, Keys& keys) {
    const int code = [&] {
        ProjObject identified;
        return EpsgCode(context, geographic, identified);
    }();
    if (code > 0 && code < userDefined) {
        keys.Code(geographicTypeKey, std::uint16_t(code));
        keys.Code(angularUnitsKey, degreeCode);
        return true;
    }
    const ProjObject datum(proj_crs_get_datum_forced(context, geographic));
    const ProjObject ellipsoid(proj_get_ellipsoid(context, geographic));
    const ProjObject meridian(proj_get_prime_meridian(context, geographic));
    double semiMajor = 0.0, semiMinor = 0.0, inverseFlattening = 0.0, meridianLongitude = 0.0, meridianFactor = 0.0;
    int computed = 0;
    if (!datum || !ellipsoid || !meridian ||
        proj_ellipsoid_get_parameters(context, ellipsoid.get(), &semiMajor, &semiMinor, &computed,
                                      &inverseFlattening) != 1 ||
        proj_prime_meridian_get_parameters(context, meridian.get(), &meridianLongitude, &meridianFactor, nullptr) !=
            1) {
        return false;
    }
    keys.Code(geographicTypeKey, userDefined);
    keys.Text(geographicCitationKey, Citation(geographic));
    const int datumCode = KeyCodeOf(datum.get());
    keys.Code(datumKey, datumCode != 0 ? std::uint16_t(datumCode) : userDefined);
    const double meridianDegrees = meridianLongitude * meridianFactor * radiansToDegrees;
    const int meridianCode = meridianDegrees == 0.0 ? greenwichCode : KeyCodeOf(meridian.get());
    keys.Code(primeMeridianKey, meridianCode != 0 ? std::uint16_t(meridianCode) : userDefined);
    keys.Code(angularUnitsKey, degreeCode);
    const int ellipsoidCode = KeyCodeOf(ellipsoid.get());
    keys.Code(ellipsoidKey, ellipsoidCode != 0 ? std::uint16_t(ellipsoidCode) : userDefined);
    keys.Values(semiMajorAxisKey, {semiMajor});
    // A sphere has no inverse flattening.
    if (inverseFlattening > 0.0) keys.Values(inverseFlatteningKey, {inverseFlattening});
    else keys.Values(semiMinorAxisKey, {semiMinor});
    if (meridianCode == 0) keys.Values(primeMeridianLongitudeKey, {meridianDegrees});
    return true;
}

// Angles in degrees, lengths in the system's own unit. Keys state no axis
// directions: readers take easting and northing, as PROJ's own polar
// systems compute them whatever directions they name.
bool AddProjection(PJ_CONTEXT* context, PJ* projected, Keys& keys) {
    AxisUnit east, north;
    if (!AxisUnits(context, projected, east, north) || east.factor <= 0.0 || north.factor != east.factor) {
        return false;
    }
    const ProjObject conversion(proj_crs_get_coordoperation(context, projected));
    const Method* method = conversion ? MethodOf(context, conversion.get()) : nullptr;
    if (method == nullptr) return false;
    keys.Code(projectedTypeKey, userDefined);
    keys.Code(projectionKey, userDefined);
    keys.Code(methodKey, method->geotiffCode);
    if (east.code > 0 && east.code < userDefined) {
        keys.Code(linearUnitsKey, std::uint16_t(east.code));
    } else {
        keys.Code(linearUnitsKey, userDefined);
        keys.Values(linearUnitSizeKey, {east.factor});
    }
    const int count = proj_coordoperation_get_param_count(context, conversion.get());
    for (int index = 0; index < count; ++index) {
        const char* authority = nullptr;
        const char* code = nullptr;
        const char* category = nullptr;
        double value = 0.0, factor = 0.0;
        if (proj_coordoperation_get_param(context, conversion.get(), index, nullptr, &authority, &code, &value,
                                          nullptr, &factor, nullptr, nullptr, nullptr, &category) != 1 ||
            code == nullptr || category == nullptr) {
            return false;
        }
        const int parameter = EpsgNumber(authority, code);
        const auto found = std::find_if(method->parameters.begin(), method->parameters.end(),
                                        [&](const ParameterKey& entry) { return entry.parameter == parameter; });
        // A parameter without a key would be lost.
        if (found == method->parameters.end()) return false;
        const std::string kind = category;
        const double stated = kind == "angular" ? value * factor * radiansToDegrees
                              : kind == "linear" ? value * factor / east.factor
                                                 : value * factor;
        keys.Values(found->key, {stated});
    }
    return true;
}

}  // namespace

std::vector<GeoKey> GeoKeysOf(PJ_CONTEXT* context, PJ* system) {
    ProjObject horizontal;
    double toWgs84[7] = {};
    bool shifted = false;
    if (proj_get_type(system) == PJ_TYPE_BOUND_CRS) {
        const ProjObject shift(proj_crs_get_coordoperation(context, system));
        horizontal.reset(proj_get_source_crs(context, system));
        shifted = shift && proj_coordoperation_get_towgs84_values(context, shift.get(), toWgs84, 7, 0) == 1;
        if (!horizontal || !shifted) return {};
        system = horizontal.get();
    }
    const PJ_TYPE type = proj_get_type(system);
    const ProjObject geographic(proj_crs_get_geodetic_crs(context, system));
    Keys keys;
    keys.Text(citationKey, Citation(system));
    if (!geographic || !AddGeographic(context, geographic.get(), keys)) return {};
    if (type == PJ_TYPE_GEOGRAPHIC_2D_CRS) {
        // The grid's place is in this system's own angles.
        AxisUnit first, second;
        const auto degrees = [](const AxisUnit& unit) { return unit.code == axisDegreeCode || unit.code == degreeCode; };
        if (!AxisUnits(context, system, first, second) || !degrees(first) || !degrees(second)) return {};
    } else if (type != PJ_TYPE_PROJECTED_CRS || !AddProjection(context, system, keys)) {
        return {};
    }
    if (shifted) keys.Values(toWgs84Key, std::vector<double>(toWgs84, toWgs84 + 7));
    std::stable_sort(keys.keys.begin(), keys.keys.end(),
                     [](const GeoKey& first, const GeoKey& second) { return first.id < second.id; });
    return keys.keys;
}

}  // namespace mdgridio
