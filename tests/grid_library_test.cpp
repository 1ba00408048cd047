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
void SetLog(const std::string& path) { _putenv(("FAKE_GRID_LOG=" + path).c_str()); }
#else
bool StillLoaded(const std::string& bareName) {
    void* handle = dlopen(("lib" + bareName + ".so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}
void SetLog(const std::string& path) { setenv("FAKE_GRID_LOG", path.c_str(), 1); }
#endif

TEST(GridLibrary, NotLoadedAnswersMinusOneAndLeavesTheFloat) {
    const GridLibrary library("mdgridio_not_anywhere");
    EXPECT_FALSE(library.IsLoaded());
    double box[4] = {0, 0, 1, 1};
    for (const int result : {library.CellLyrExists("g"), library.CellLayerCreate("g", 3, 1, 1, 1, box),
                             library.AccessWindowSet(box, 1, box), library.WindowRows(), library.WindowCols(),
                             library.PutWindowRow(0, 0, box), library.CellLyrClose(0), library.CellLyrDelete("g")})
        EXPECT_EQ(result, -1);
    float missing = 1.5f;
    library.GetMissingFloat(&missing);
    EXPECT_EQ(missing, 1.5f);
}

// A library without its exit function stays loaded: unloading it without
// letting it finish could lose what it still holds.
TEST(GridLibrary, ExitsAndUnloadsOnlyALibraryThatCanExit) {
    const ScratchFolder scratch;
    SetLog((scratch / "log").string());
    { const GridLibrary library("mdgridio_recording"); }
    EXPECT_EQ(ReadFile(scratch / "log"), "GridIOSetup\nGridIOExit\n");
    EXPECT_FALSE(StillLoaded("mdgridio_recording"));
    { const GridLibrary library("mdgridio_without-GridIOExit"); }
    EXPECT_TRUE(StillLoaded("mdgridio_without-GridIOExit"));
}

}  // namespace
