#include "platform/shared_library.h"

#include <dlfcn.h>

#include <string>

namespace platform {

LibraryHandle LoadLibraryByBareName(const char* bareName) {
    const std::string fileName = std::string("lib") + bareName + ".so";
    return dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindLibraryFunction(LibraryHandle library, const char* functionName) {
    return dlsym(library, functionName);
}

void FreeLibraryHandle(LibraryHandle library) { dlclose(library); }

}  // namespace platform
