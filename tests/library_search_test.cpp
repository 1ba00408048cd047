// Which grid library cellport.exe loads: the one beside it, else the first on
// PATH, never one in the folder it is run from, however PATH names that.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

struct SearchCase {
    const char* what;
    bool plantedInWorkingFolder;
    bool libraryBesideProgram;
    // The recording library logs GridIOSetup first; the variant without it
    // starts with the grid's existence check.
    const char* firstCall;
};

const SearchCase searchCases[] = {
    {"library only on PATH", false, false, "GridIOSetup"},
    {"no library, named mdgridio.dll, in the working folder", true, false, "GridIOSetup"},
    {"library beside the program too", true, true, "CellLyrExists \"out\""},
};

const std::string byteImage =
    "data type : byte\nfile type : binary\ncolumns : 2\nrows : 1\n"
    "min. X : 0\nmax. X : 2\nmin. Y : 0\nmax. Y : 1\n";

fs::path Variant(const std::string& name) { return fs::path(FAKE_VARIANTS_FOLDER) / name / "mdgridio.dll"; }

// Empty, "." and a bare drive name the working folder, "work" one inside it;
// the library's folder, which has a space in its name, is quoted.
std::string PathNaming(const fs::path& working, const fs::path& libraryFolder) {
    const char* inherited = std::getenv("PATH");
    return ";.;" + working.root_name().string() + ";work;\"" + libraryFolder.string() + "\";" +
           (inherited ? inherited : "");
}

TEST(LibrarySearch, SkipsTheWorkingFolderEvenWhenPathNamesIt) {
    for (const SearchCase& search : searchCases) {
        SCOPED_TRACE(search.what);
        const ScratchFolder scratch;
        const fs::path program = scratch / "program", onPath = scratch / "on path", working = scratch / "work";
        for (const fs::path& folder : {program, onPath, working, working / "work"}) fs::create_directories(folder);
        fs::copy_file(CELLPORT_PROGRAM, program / "cellport.exe");
        fs::copy_file(Variant("recording"), onPath / "mdgridio.dll");
        // What a data folder could bring along: nothing loadable, so loading
        // it fails the run.
        if (search.plantedInWorkingFolder) {
            WriteFile(working / "mdgridio.dll", "not a library");
            WriteFile(working / "work" / "mdgridio.dll", "not a library");
        }
        if (search.libraryBesideProgram) fs::copy_file(Variant("without-GridIOSetup"), program / "mdgridio.dll");
        WriteFile(working / "img.doc", byteImage);
        WriteFile(working / "img.img", std::string(2, '\1'));

        const ProcessResult run = RunProcess(
            {(program / "cellport.exe").string(), "img", "out"},
            {"PATH=" + PathNaming(working, onPath), "FAKE_GRID_LOG=" + (scratch / "log").string()},
            working);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.standardOutput, "");
        const std::string log = ReadFile(scratch / "log");
        EXPECT_EQ(log.substr(0, log.find('\n')), search.firstCall);
    }
}

}  // namespace
