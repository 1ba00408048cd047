#include <cstdlib>
#include <string>

#include "mdgridio/srs/proj_objects.h"

namespace mdgridio {

// The EPSG code the system carries, or that of the one system PROJ finds
// equivalent to it (the same datum, axes and projection; a "+proj=" string's
// system differs only by its name); 0 when there is none, or more than one
// equally good, as for an ellipsoid that several datums use.
int EpsgNumber(const char* authority, const char* code) {
    return authority != nullptr && code != nullptr && std::string(authority) == "EPSG" ? std::atoi(code) : 0;
}

int EpsgCode(PJ_CONTEXT* context, PJ* system, ProjObject& identified) {
    const int own = EpsgNumber(proj_get_id_auth_name(system, 0), proj_get_id_code(system, 0));
    if (own != 0) return own;
    if (proj_get_type(system) == PJ_TYPE_BOUND_CRS) return 0;  // the shift is not in the code
    int* confidenceList = nullptr;
    const std::unique_ptr<PJ_OBJ_LIST, ProjListDeleter> candidates(
        proj_identify(context, system, "EPSG", nullptr, &confidenceList));
    const std::unique_ptr<int, ProjIntegersDeleter> confidence(confidenceList);
    if (!candidates || proj_list_get_count(candidates.get()) == 0) return 0;
    // Best first; below 70 they are not equivalent.
    const int best = confidence.get()[0];
    if (best < 70 || (proj_list_get_count(candidates.get()) > 1 && confidence.get()[1] == best)) return 0;
    ProjObject candidate(proj_list_get(context, candidates.get(), 0));
    const char* candidateCode = candidate ? proj_get_id_code(candidate.get(), 0) : nullptr;
    if (candidateCode == nullptr) return 0;
    identified = std::move(candidate);
    return std::atoi(candidateCode);
}

}  // namespace mdgridio
