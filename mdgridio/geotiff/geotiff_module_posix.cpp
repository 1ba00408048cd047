#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "mdgridio/geotiff_module.h"

namespace mdgridio {

namespace {

const char moduleFile[] = "libmdgridio_geotiff.so";

struct FreeText {
    void operator()(char* text) const { free(text); }
};

// The absolute path of the module beside this library, wherever that was
// installed; empty when it cannot be known. Worked out while the library is
// being loaded, when a relative name the loader found it by (an empty entry
// in LD_LIBRARY_PATH) still means what it meant to the loader. Never a bare
// name: the loader would search for that, the current folder included.
std::string ModulePathAtLoad() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<const void*>(&LoadGeoTiffModule), &self) == 0 ||
        self.dli_fname == nullptr) {
        return {};
    }
    const std::unique_ptr<char, FreeText> library(realpath(self.dli_fname, nullptr));
    if (!library) return {};
    const std::string path = library.get();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1) + moduleFile;
}

const std::string modulePath = ModulePathAtLoad();

const GeoTiffModule* Load() {
    if (modulePath.empty()) return nullptr;
    // Kept loaded to the end of the process: libtiff keeps the tag extender it registered.
    void* module = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
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
