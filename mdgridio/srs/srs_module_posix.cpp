#include <dlfcn.h>

#include <string>

#include "mdgridio/srs/srs_module.h"

namespace mdgridio {

namespace {

const char moduleFile[] = "libmdgridio_srs.so";

// The module lives beside this library, wherever that was installed; never
// one found by the loader's search.
std::string ModulePath() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<const void*>(&LoadSrsModule), &self) == 0 || self.dli_fname == nullptr) {
        return {};
    }
    const std::string library = self.dli_fname;
    const std::size_t slash = library.rfind('/');
    return slash == std::string::npos ? std::string() : library.substr(0, slash + 1) + moduleFile;
}

const SrsModule* Load() {
    const std::string path = ModulePath();
    if (path.empty()) return nullptr;
    // Kept loaded to the end of the process, as PROJ's own caches expect.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return nullptr;
    const auto* entry = static_cast<const SrsModule*>(dlsym(module, SRS_MODULE_ENTRY));
    if (entry == nullptr) dlclose(module);
    return entry;
}

}  // namespace

const SrsModule* LoadSrsModule() {
    static const SrsModule* const module = Load();
    return module;
}

}  // namespace mdgridio
