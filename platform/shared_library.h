// Loading the grid library at run time, in the platform's own terms.
#pragma once

namespace platform {

using LibraryHandle = void*;

// Loads a library by its bare name ("mdgridio"): no folder and no extension.
// The platform's search decides which file is loaded, except that Windows'
// search of the current folder is left out. Null on failure.
LibraryHandle LoadLibraryByBareName(const char* bareName);

// Null when the library exports no function of that exact name.
void* FindLibraryFunction(LibraryHandle library, const char* functionName);

void FreeLibraryHandle(LibraryHandle library);

}  // namespace platform
