#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "grid/grid_library.h"
#include "support/scratch_folder.h"

namespace {

#ifdef _WIN32
void SetVariable(const char* name, const std::string& value) {
    _putenv((std::string(name) + "=" + value).c_str());
}
void UnsetVariable(const char* name) { _putenv((std::string(name) + "=").c_str()); }

bool StillLoaded(const std::string& bareName) {
    return GetModuleHandleA((bareName + ".dll").c_str()) != nullptr;
}
#else
void SetVariable(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }
void UnsetVariable(const char* name) { unsetenv(name); }

bool StillLoaded(const std::string& bareName) {
    void* handle = dlopen(("lib" + bareName + ".so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}
#endif

// Each test loads one variant of the stand-in library and reads its log.
class Binding : public testing::Test {
protected:
    void SetUp() override { SetVariable("FAKE_GRID_LOG", (scratch / "log").string()); }
    void TearDown() override { UnsetVariable("FAKE_GRID_LOG"); }
    std::string Log() const { return ReadFile(scratch / "log"); }

    ScratchFolder scratch;
};

TEST_F(Binding, NotLoadedAnswersMinusOneEverywhere) {
    const GridLibrary library("mdgridio_not_anywhere");
    EXPECT_FALSE(library.IsLoaded());
    double box[4] = {0, 0, 1, 1};
    const int results[] = {library.CellLyrExists("g"),     library.CellLayerCreate("g", 3, 1, 1, 1, box),
                           library.AccessWindowSet(box, 1, box), library.WindowRows(),
                           library.WindowCols(),           library.PutWindowRow(0, 0, box),
                           library.CellLyrClose(0),        library.CellLyrDelete("g")};
    for (int result : results) EXPECT_EQ(result, -1);
    float missing = 1.5f;
    library.GetMissingFloat(&missing);
    EXPECT_EQ(missing, 1.5f);
}

TEST_F(Binding, SetsUpThenExitsAndUnloads) {
    {
        const GridLibrary library("mdgridio_recording");
        EXPECT_TRUE(library.IsLoaded());
        EXPECT_EQ(Log(), "GridIOSetup\n");
    }
    EXPECT_EQ(Log(), "GridIOSetup\nGridIOExit\n");
    EXPECT_FALSE(StillLoaded("mdgridio_recording"));
}

TEST_F(Binding, PassesArgumentsAndResultsThrough) {
    SetVariable("FAKE_CREATE", "0");
    SetVariable("FAKE_WINDOW_COLS", "17");
    const GridLibrary library("mdgridio_recording");
    double box[4] = {1, 2, 3, 4};
    double outBox[4] = {};
    EXPECT_EQ(library.CellLayerCreate("grid", 3, 1, 2, 0.5, box), 0);
    EXPECT_EQ(library.AccessWindowSet(box, 0.5, outBox), 0);
    EXPECT_EQ(library.WindowCols(), 17);
    EXPECT_EQ(library.CellLyrClose(-4), -1);
    EXPECT_EQ(Log(),
              "GridIOSetup\n"
              "CellLayerCreate \"grid\" 3 1 2 0.5 [1 2 3 4]@A\n"
              "AccessWindowSet [1 2 3 4]@A 0.5 @B\n"
              "WindowCols\n"
              "CellLyrClose -4\n");
    UnsetVariable("FAKE_CREATE");
    UnsetVariable("FAKE_WINDOW_COLS");
}

TEST_F(Binding, WithoutSetupStillLoaded) {
    const GridLibrary library("mdgridio_GridIOSetup");
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_EQ(Log(), "");
}

TEST_F(Binding, WithoutExitNeitherExitsNorUnloads) {
    { const GridLibrary library("mdgridio_GridIOExit"); }
    EXPECT_EQ(Log(), "GridIOSetup\n");
    EXPECT_TRUE(StillLoaded("mdgridio_GridIOExit"));
}

TEST_F(Binding, AbsentFunctionsAnswerMinusOne) {
    {
        const GridLibrary library("mdgridio_CellLyrExists");
        EXPECT_EQ(library.CellLyrExists("grid"), -1);
    }
    {
        const GridLibrary library("mdgridio_WindowRows");
        EXPECT_EQ(library.WindowRows(), -1);
    }
    const GridLibrary library("mdgridio_GetMissingFloat");
    float missing = 1.5f;
    library.GetMissingFloat(&missing);
    EXPECT_EQ(missing, 1.5f);
}

}  // namespace
