#include <cstdlib>

#include "mdgridio/srs/coordinate_system.h"
#include "mdgridio/srs/srs_module.h"

namespace mdgridio {

bool SystemFromEnvironment(CoordinateSystem& system) {
    system = CoordinateSystem{};
    const char* text = std::getenv("MDGRIDIO_SRS");
    if (text == nullptr || *text == '\0') return true;
    const SrsModule* module = LoadSrsModule();
    return module != nullptr && module->resolve(text, &system) == 0 && system.IsGiven();
}

}  // namespace mdgridio
