// The converter run as a process against the recording stand-in library:
// what it prints, how it exits, and every grid call it makes, in order.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

const std::string byteHeader =
    "data type   : byte\nfile type   : packed binary\ncolumns     : 3\nrows        : 2\n"
    "min. X      : 0\nmax. X      : 3\nmin. Y      : 0\nmax. Y      : 2\n";
const std::string packedPairs = {2, 10, 3, 20, 1, 30};
const std::string programFile = std::filesystem::path(CELLPORT_PROGRAM).filename().string();

std::string Header(const std::string& dataType, const std::string& fileType, const std::string& more = "") {
    return "data type : " + dataType + "\nfile type : " + fileType +
           "\ncolumns : 3\nrows : 2\nmin. X : 0\nmax. X : 3\nmin. Y : 0\nmax. Y : 2\n" + more;
}

class Run : public testing::Test {
protected:
    void WriteImage(const std::string& header, const std::string& cells, const std::string& base = "img") {
        WriteFile(scratch / (base + ".doc"), header);
        WriteFile(scratch / (base + ".img"), cells);
    }

    // The variant is the library the platform's search finds first.
    ProcessResult Convert(std::vector<std::string> arguments, std::vector<std::string> settings = {},
                          const std::string& variant = "recording") {
        const std::string folder = std::string(FAKE_VARIANTS_FOLDER) + "/" + variant;
#ifdef _WIN32
        // Windows looks beside the program first: each variant has a copy.
        arguments.insert(arguments.begin(), folder + "/" + programFile);
#else
        arguments.insert(arguments.begin(), CELLPORT_PROGRAM);
        settings.push_back("LD_LIBRARY_PATH=" + folder);
#endif
        settings.push_back("FAKE_GRID_LOG=" + (scratch / "log").string());
        return RunProcess(arguments, settings, scratch.Path());
    }

    std::string Log() const { return ReadFile(scratch / "log"); }

    ScratchFolder scratch;
};

// The calls of a run up to an open window on a 3 x 2 byte image.
const std::string throughWindow =
    "GridIOSetup\n"
    "CellLyrExists \"out\"\n"
    "CellLayerCreate \"out\" 3 1 1 1 [0 0 3 2]@A\n"
    "AccessWindowSet [0 0 3 2]@A 1 @B\n"
    "WindowCols\n"
    "WindowRows\n";

TEST_F(Run, ConvertsAndCallsTheLibraryInOrder) {
    WriteImage(byteHeader, packedPairs);
    const ProcessResult run = Convert({"img", "out"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(run.standardError, "");
    EXPECT_EQ(Log(), throughWindow +
                         "GetMissingFloat @C\n"
                         "PutWindowRow 0 0 @D 10 10 20\n"
                         "PutWindowRow 0 1 @D 20 20 30\n"
                         "CellLyrClose 0\n"
                         "GridIOExit\n");
}

TEST_F(Run, UsageForAnyOtherArgumentCount) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{{}, {"img"}, {"img", "out", "more"}}) {
        std::filesystem::remove(scratch / "log");
        const ProcessResult run = Convert(arguments);
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.standardOutput, "CELLPORT [in_image] [out_grid]\n");
        EXPECT_EQ(Log(), "GridIOSetup\nGridIOExit\n");
    }
}

TEST_F(Run, ProgramAloneFindsNoLibrary) {
    // Beside the program there is no library, and no search path names one.
    std::filesystem::copy_file(CELLPORT_PROGRAM, scratch / programFile);
    const std::string alone = (scratch / programFile).string();
    const ProcessResult usage = RunProcess({alone}, {}, scratch.Path());
    EXPECT_EQ(usage.standardOutput, "CELLPORT [in_image] [out_grid]\n");
    const ProcessResult run = RunProcess({alone, "img", "out"}, {}, scratch.Path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.standardOutput,
              "Could not load MDGRIDIO.DLL\nPlease make sure the Mapdesk BIN32 directory is in the path.\n");
}

TEST_F(Run, MissingHeaderFileNamedAsGiven) {
    // Windows passes arguments as one quoted command line: these must come
    // through it unchanged.
    const std::string names[] = {"some folder/" + std::string(200, 'n'), "", "say \"hi\"", "tab\there",
                                 "trailing\\", "both\\\"\\ at\\\\"};
    for (const std::string& name : names) {
        std::filesystem::remove(scratch / "log");
        const ProcessResult run = Convert({name, "out"});
        EXPECT_EQ(run.exitStatus, 1) << name;
        EXPECT_EQ(run.standardOutput, "Could not open " + name + ".doc.\n");
        EXPECT_EQ(Log(), "GridIOSetup\nGridIOExit\n") << name;
    }
}

struct Refusal {
    std::string header;
    const char* message;
};

TEST_F(Run, HeaderRefusalsTouchNoGrid) {
    const std::string extent = "min. X : 0\nmax. X : 3\nmin. Y : 0\nmax. Y : 2\n";
    const Refusal refusals[] = {
        {"file type : ascii\ncolumns : 3\nrows : 2\nmax. Y : 9\n", "ASCII image types are not supported\n"},
        {Header("byte", "binary").replace(0, 0, "max. Y : 3\n") + "max. Y : 3\n",
         "ERROR: Image has unequal row/column resolution.\nPlease use RESAMPLE to correct the discrepancy.\n"},
        {"data type : byte\nfile type : binary\ncolumns : 3\nrows : 2\nmin. X : 0\nmax. X : 3\nmax. Y : 2\n",
         "Image header lacks min. Y\n"},
        {"data type : byte\nfile type : binary\n", "Image header lacks columns\n"},
        {"data type : byte\nfile type : binary\ncolumns : 0\nrows : 2\n" + extent,
         "Image must have at least one row and one column\n"},
        {"file type : binary\ncolumns : 3\nrows : 2\n" + extent, "Image data type is missing or not supported\n"},
        {"data type : byte\ncolumns : 3\nrows : 2\n" + extent, "Image file type is missing or not supported\n"},
        {Header("real", "packed binary"), "Packed binary real images are not supported\n"},
    };
    for (const auto& refusal : refusals) {
        std::filesystem::remove(scratch / "log");
        WriteImage(refusal.header, "");
        const ProcessResult run = Convert({"img", "out"});
        EXPECT_EQ(run.exitStatus, 1) << refusal.message;
        EXPECT_EQ(run.standardOutput, refusal.message);
        EXPECT_EQ(Log(), "GridIOSetup\nGridIOExit\n") << refusal.message;
    }
}

TEST_F(Run, ExistingGridIsLeftAlone) {
    WriteImage(byteHeader, packedPairs);
    const std::string untouched = "GridIOSetup\nCellLyrExists \"out\"\nGridIOExit\n";
    const ProcessResult exists = Convert({"img", "out"}, {"FAKE_EXISTS=1"});
    EXPECT_EQ(exists.standardOutput, "Output grid already exists\n");
    EXPECT_EQ(exists.exitStatus, 1);
    EXPECT_EQ(Log(), untouched);
    std::filesystem::remove(scratch / "log");
    const ProcessResult cannotTell = Convert({"img", "out"}, {}, "CellLyrExists");
    EXPECT_EQ(cannotTell.standardOutput, "Output grid already exists\n");
    EXPECT_EQ(Log(), "GridIOSetup\nGridIOExit\n");
}

struct GridFailure {
    std::vector<std::string> settings;
    std::string message;
    std::string calls;  // from the window check on
};

TEST_F(Run, FailuresAfterCreationRemoveTheGrid) {
    const std::string cleanUp = "CellLyrClose 0\nCellLyrDelete \"out\"\nGridIOExit\n";
    const GridFailure failures[] = {
        {{"FAKE_CREATE=-3"}, "Could not create output grid\n", "CellLyrClose -3\nCellLyrDelete \"out\"\nGridIOExit\n"},
        {{"FAKE_WINDOW_SET=-1"}, "Could not set Window\n", cleanUp},
        {{"FAKE_WINDOW_COLS=4"}, "Error setting grid output Window\n", "WindowCols\nWindowRows\n" + cleanUp},
        {{"FAKE_WINDOW_ROWS=3"}, "Error setting grid output Window\n", "WindowCols\nWindowRows\n" + cleanUp},
        {{"FAKE_PUT_FAILS_AT_ROW=1"}, "Could not write row 1\n",
         "WindowCols\nWindowRows\nGetMissingFloat @C\nPutWindowRow 0 0 @D 10 10 20\n"
         "PutWindowRow 0 1 @D 20 20 30\n" + cleanUp},
        {{"FAKE_CLOSE=-2"}, "Could not close output grid\n",
         "WindowCols\nWindowRows\nGetMissingFloat @C\nPutWindowRow 0 0 @D 10 10 20\n"
         "PutWindowRow 0 1 @D 20 20 30\nCellLyrClose 0\nCellLyrDelete \"out\"\nGridIOExit\n"},
    };
    WriteImage(byteHeader, packedPairs);
    for (const auto& failure : failures) {
        std::filesystem::remove(scratch / "log");
        const ProcessResult run = Convert({"img", "out"}, failure.settings);
        EXPECT_EQ(run.exitStatus, 1) << failure.message;
        EXPECT_EQ(run.standardOutput, failure.message);
        const std::string log = Log();
        EXPECT_TRUE(log.ends_with(failure.calls)) << failure.message << log;
    }
}

TEST_F(Run, MissingDataFileFoundOnlyAfterTheWindow) {
    WriteFile(scratch / "img.doc", byteHeader);
    const ProcessResult run = Convert({"img", "out"});
    EXPECT_EQ(run.standardOutput, "Could not open img.img.\n");
    EXPECT_EQ(Log(), throughWindow + "CellLyrClose 0\nCellLyrDelete \"out\"\nGridIOExit\n");
}

TEST_F(Run, UnreadableRowsRemoveTheGrid) {
    const struct {
        std::string header;
        std::string cells;
        std::string message;
    } failures[] = {
        {Header("byte", "binary"), {1, 2, 3, 4}, "Could not read 3 bytes at 3\nf_read = '1'\n"},
        {Header("integer", "packed binary"), {3, 0, 1, 0, -3, -1, 5, 0}, "Invalid run length -3 at 3\n"},
    };
    for (const auto& failure : failures) {
        std::filesystem::remove(scratch / "log");
        WriteImage(failure.header, failure.cells);
        const ProcessResult run = Convert({"img", "out"}, {"FAKE_CREATE=7"});
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.standardOutput, failure.message);
        EXPECT_TRUE(Log().ends_with("PutWindowRow 7 0 @D 1 1 1\nCellLyrClose 7\nCellLyrDelete \"out\"\nGridIOExit\n") ||
                    Log().ends_with("PutWindowRow 7 0 @D 1 2 3\nCellLyrClose 7\nCellLyrDelete \"out\"\nGridIOExit\n"))
            << Log();
    }
}

TEST_F(Run, FlaggedRealCellsGetTheMissingFloat) {
    // -99, 1.5, NaN / 0, 0, 0; the stand-in's missing float is -9999.
    const std::string cells = {0, 0, -58, -62, 0, 0, -64, 63, 1, 0, -64, 127, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    WriteImage(Header("real", "binary", "flag value : -99\n"), cells);
    EXPECT_EQ(Convert({"img", "out"}).exitStatus, 0);
    EXPECT_TRUE(Log().find("CellLayerCreate \"out\" 3 1 2 1") != std::string::npos);
    EXPECT_TRUE(Log().find("PutWindowRow 0 0 @D c61c3c00 3fc00000 c61c3c00\n") != std::string::npos) << Log();
    std::filesystem::remove(scratch / "log");
    // A library that cannot tell its missing float: the lowest finite float.
    EXPECT_EQ(Convert({"img", "out"}, {}, "GetMissingFloat").exitStatus, 0);
    EXPECT_TRUE(Log().find("PutWindowRow 0 0 @C ff7fffff 3fc00000 ff7fffff\n") != std::string::npos) << Log();
}

}  // namespace
