// Which grid library cellport.exe loads: the one beside it, else the first on
// PATH, never one in the folder it is run from, however PATH names that.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

fs::path Variant(const std::string& name) { return fs::path(FAKE_VARIANTS_FOLDER) / name / "mdgridio.dll"; }
// The project's own grid library, built beside the program.
const fs::path projectLibrary = fs::path(CELLPORT_PROGRAM).parent_path() / "mdgridio.dll";

const std::string byteImage =
    "data type : byte\nfile type : binary\ncolumns : 2\nrows : 1\nmin. X : 0\nmax. X : 2\nmin. Y : 0\nmax. Y : 1\n";

void WriteImage(const fs::path& folder) {
    WriteFile(folder / "img.doc", byteImage);
    WriteFile(folder / "img.img", "\1\1");
}

// Through cmd with a wide command line and PATH in front, so that names
// outside the ANSI code page reach the program intact. Output and errors
// together, CR LF as LF.
ProcessResult RunWide(const std::wstring& commandLine, const std::wstring& pathInFront, const fs::path& folder) {
    const ScratchFolder captured;
    const std::wstring oldPath = _wgetenv(L"PATH");
    _wputenv_s(L"PATH", (pathInFront + L";" + oldPath).c_str());
    const std::wstring line = L"\"cd /d \"" + folder.wstring() + L"\" && " + commandLine + L" >\"" +
                              (captured / "out").wstring() + L"\" 2>&1\"";
    const int status = _wsystem(line.c_str());
    _wputenv_s(L"PATH", oldPath.c_str());
    ProcessResult run{status, ReadFile(captured / "out"), ""};
    std::erase(run.standardOutput, '\r');
    return run;
}

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

// A folder name outside Latin-1 holds the program and its library; a copy
// of the stand-in library later on PATH must not be taken instead. The grid
// name is outside ASCII but inside the ANSI code page, as any argument is.
TEST(LibrarySearch, FindsTheLibraryBesideAProgramInAFolderNamedOutsideLatin1) {
    const ScratchFolder scratch;
    const fs::path program = scratch.Path() / L"\u0141ukasz \u65e5\u672c", onPath = scratch / "on path",
                   working = scratch / "work";
    for (const fs::path& folder : {program, onPath, working}) fs::create_directories(folder);
    fs::copy_file(CELLPORT_PROGRAM, program / "cellport.exe");
    fs::copy_file(projectLibrary, program / "mdgridio.dll");
    fs::copy_file(Variant("recording"), onPath / "mdgridio.dll");
    WriteImage(working);
    const std::wstring grid = L"M\u00fcller";
    const ProcessResult run =
        RunWide(L"\"" + (program / "cellport.exe").wstring() + L"\" img " + grid, onPath.wstring(), working);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(ReadFile(working / grid / "cells.raw"), std::string("\1\0\0\0\1\0\0\0", 8));
    EXPECT_TRUE(fs::exists(working / grid / "cells.hdr"));
}

// A 64-bit program cannot load a 32-bit library (the vendor's is one): found
// first on PATH, it is passed over for a later one that loads. With none
// that loads, the usual message stays.
TEST(LibrarySearch, PassesOverALibraryBuiltForAnotherMachine) {
#ifndef CELLPORT_OTHER_MACHINE_LIBRARY
    GTEST_SKIP() << "configure with CELLPORT_OTHER_MACHINE_LIBRARY naming a 32-bit mdgridio.dll";
#else
    for (const bool loadableLater : {true, false}) {
        SCOPED_TRACE(loadableLater ? "a 64-bit library later on PATH" : "only the 32-bit one");
        const ScratchFolder scratch;
        const fs::path program = scratch / "program", other = scratch / "bin32", later = scratch / "bin64",
                       working = scratch / "work";
        for (const fs::path& folder : {program, other, later, working}) fs::create_directories(folder);
        fs::copy_file(CELLPORT_PROGRAM, program / "cellport.exe");
        fs::copy_file(CELLPORT_OTHER_MACHINE_LIBRARY, other / "mdgridio.dll");
        if (loadableLater) fs::copy_file(projectLibrary, later / "mdgridio.dll");
        WriteImage(working);
        const ProcessResult run =
            RunProcess({(program / "cellport.exe").string(), "img", "out"},
                       {"PATH=" + other.string() + ";" + later.string() + ";" + std::getenv("PATH")}, working);
        EXPECT_EQ(run.exitStatus, loadableLater ? 0 : 1);
        EXPECT_EQ(run.standardOutput, loadableLater ? "" : "Could not load MDGRIDIO.DLL\n"
                                                           "Please make sure the Mapdesk BIN32 directory is in the path.\n");
        EXPECT_EQ(fs::exists(working / "out" / "cells.hdr"), loadableLater);
    }
#endif
}

}  // namespace
