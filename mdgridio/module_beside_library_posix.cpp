#include "mdgridio/module_beside_library.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <memory>
#include <string>

namespace mdgridio {

namespace {

struct FreeText {
    void operator()(char* text) const { free(text); }
};

// This library's folder, ending in a slash; empty when it cannot be known.
// Worked out while the library is being loaded, when a relative name the
// loader found it by (an empty entry in LD_LIBRARY_PATH) still means what it
// meant to the loader. A module is never loaded by a bare name: the loader
// would search for that, the current folder included.
std::string LibraryFolderAtLoad() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<const void*>(&LoadModuleBesideLibrary), &self) == 0 ||
        self.dli_fname == nullptr) {
        return {};
    }
    const std::unique_ptr<char, FreeText> library(realpath(self.dli_fname, nullptr));
    if (!library) return {};
    const std::string path = library.get();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

const std::string libraryFolder = LibraryFolderAtLoad();

}  // namespace

const void* LoadModuleBesideLibrary(const char* file, const char* symbol) {
    if (libraryFolder.empty()) return nullptr;
    // Never unloaded: libtiff keeps the tag extender a module registers, and
    // PROJ its caches.
    void* module = dlopen((libraryFolder + file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return nullptr;
    const void* entry = dlsym(module, symbol);
    if (entry == nullptr) dlclose(module);
    return entry;
}

}  // namespace mdgridio
