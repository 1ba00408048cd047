#include "mdgridio/module_beside_library.h"
#include "mdgridio/srs/srs_module.h"

namespace mdgridio {

const SrsModule* LoadSrsModule() {
    static const auto* const module =
        static_cast<const SrsModule*>(LoadModuleBesideLibrary("libmdgridio_srs.so", SRS_MODULE_ENTRY));
    return module;
}

}  // namespace mdgridio
