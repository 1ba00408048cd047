#include <dlfcn.h>

#include "mdgridio/geotiff_module.h"

namespace mdgridio {

namespace {

const char moduleFile[] = "libmdgridio_geotiff.so";

// The module lives beside this library, wherever that was installed.
std::string ModulePath() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<const void*>(&LoadGeoTiffModule), &self) == 0 ||
        self.dli_fname == nullptr) {
        return moduleFile;
    }
    const std::string library = self.dli_fname;
    const std::size_t slash = library.rfind('/');
    return slash == std::string::npos ? moduleFile : library.substr(0, slash + 1) + moduleFile;
}

const GeoTiffModule* Load() {
    // Kept loaded to the end of the process: GDAL does not expect to be unloaded.
    void* module = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return nullptr;
    const auto* entry = static_cast<const GeoTiffModule*>(dlsym(module, GEOTIFF_MODULE_ENTRY));
    if (entry == nullptr) dlclose(module);
    return entry;
}

}  // namespace

const GeoTiffModule* LoadGeoTiffModule() {
    static const GeoTiffModule* const module = Load();
    return module;
}

}  // namespace mdgridio
