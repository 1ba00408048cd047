#include "platform/shared_library.h"

#include <windows.h>

namespace platform {

LibraryHandle LoadLibraryByBareName(const char* bareName) {
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(bareName));
}

void* FindLibraryFunction(LibraryHandle library, const char* functionName) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), functionName));
}

void FreeLibraryHandle(LibraryHandle library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace platform
