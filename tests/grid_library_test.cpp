// The binding to the run-time-loaded grid library, in this process, where
// whether a library is still loaded can be seen.
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <gtest/gtest.h>

#include <cstdlib>

#include "grid/grid_library.h"
#include "support/scratch_folder.h"

namespace {

#ifdef _WIN32
bool StillLoaded(const std::string& bareName) { return GetModuleHandleA((bareName + ".dll").c_str()) != nullptr; }
#else
bool StillLoaded(const std::string& bareName) {
    void* handle = dlopen(("lib" + bareName + ".so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}
#endif

// A library without its exit function stays loaded: unloading it without
// letting it finish could lose what it still holds.
TEST(GridLibrary, ExitsAndUnloadsOnlyALibraryThatCanExit) {
    const ScratchFolder scratch;
    static const std::string log = "FAKE_GRID_LOG=" + (scratch / "log").string();  // putenv keeps it
    putenv(const_cast<char*>(log.c_str()));
    { const GridLibrary library("mdgridio_recording"); }
    EXPECT_EQ(ReadFile(scratch / "log"), "GridIOSetup\nGridIOExit\n");
    EXPECT_FALSE(StillLoaded("mdgridio_recording"));
    { const GridLibrary library("mdgridio_without-GridIOExit"); }
    EXPECT_TRUE(StillLoaded("mdgridio_without-GridIOExit"));
}

}  // namespace
