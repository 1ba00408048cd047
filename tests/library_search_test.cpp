// Which grid library cellport.exe loads: the one beside it, else the first on
// PATH, never one in the folder it is run from, however PATH names that.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

fs::path Variant(const std::string& name) { return fs::path(FAKE_VARIANTS_FOLDER) / name / "mdgridio.dll"; }

TEST(LibrarySearch, SkipsTheWorkingFolderEvenWhenPathNamesIt) {
    // The recording library logs GridIOSetup first; the variant without it
    // starts with the grid's existence check.
    const struct {
        bool plantedInWorkingFolder, libraryBesideProgram;
        const char* firstCall;
    } cases[] = {{false, false, "GridIOSetup"}, {true, false, "GridIOSetup"}, {true, true, "CellLyrExists \"out\""}};
    for (const auto& [planted, beside, firstCall] : cases) {
        SCOPED_TRACE(std::string(planted ? "planted " : "") + (beside ? "beside" : ""));
        const ScratchFolder scratch;
        const fs::path program = scratch / "program", onPath = scratch / "on path", working = scratch / "work";
        for (const fs::path& folder : {program, onPath, working / "work"}) fs::create_directories(folder);
        fs::copy_file(CELLPORT_PROGRAM, program / "cellport.exe");
        fs::copy_file(Variant("recording"), onPath / "mdgridio.dll");
        // What a data folder could bring along: nothing loadable.
        for (const fs::path& folder : {working, working / "work"})
            if (planted) WriteFile(folder / "mdgridio.dll", "not a library");
        if (beside) fs::copy_file(Variant("without-GridIOSetup"), program / "mdgridio.dll");
        WriteFile(working / "img.doc", "data type : byte\nfile type : binary\ncolumns : 2\nrows : 1\n"
                                       "min. X : 0\nmax. X : 2\nmin. Y : 0\nmax. Y : 1\n");
        WriteFile(working / "img.img", "\1\1");
        // Empty, "." and a bare drive name the working folder, "work" one
        // inside it; the library's folder, with a blank in its name, is quoted.
        const std::string path =
            ";.;" + working.root_name().string() + ";work;\"" + onPath.string() + "\";" + std::getenv("PATH");
        const ProcessResult run = RunProcess({(program / "cellport.exe").string(), "img", "out"},
                                             {"PATH=" + path, "FAKE_GRID_LOG=" + (scratch / "log").string()}, working);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.standardOutput, "");
        const std::string log = ReadFile(scratch / "log");
        EXPECT_EQ(log.substr(0, log.find('\n')), firstCall);
    }
}

}  // namespace
