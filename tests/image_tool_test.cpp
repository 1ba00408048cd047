// cellport-make-image makes the images of the benchmark, the examples and
// CI's checks: the same made-up cells must come out whichever layout holds
// them, under a header of only the converter's keys and a note.
#include <gtest/gtest.h>

#include <sstream>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

// The grid that the tool's image converts into.
std::string Converted(const ScratchFolder& scratch, const std::string& type, const std::string& layout) {
    const std::string base = type + "-" + layout;
    const ProcessResult made = RunProcess(
        {CELLPORT_MAKE_IMAGE, "--type", type, "--layout", layout, "--columns", "700", "--rows", "30", "--pattern", "runs",
         "--max-run", "600", "--flag", "3", "--seed", "5", "--cell-size", "0.1", "--min-x", "12345.678", "--note", "made up", base},
        {}, scratch.Path());
    EXPECT_EQ(made.exitStatus, 0) << made.standardError;
    std::istringstream header(ReadFile(scratch / (base + ".doc")));
    for (std::string line; std::getline(header, line);) {
        const std::string key = std::string(" ").append(line.substr(0, line.find_first_of(" :"))).append(" ");
        EXPECT_NE(std::string(" data file columns rows min. max. flag note ").find(key), std::string::npos) << line;
    }
    const ProcessResult run = RunProcess({CELLPORT_PROGRAM, base, base + "-grid"}, {}, scratch.Path());
    EXPECT_EQ(run.standardOutput, "") << base;
    return ReadFile(scratch / (base + "-grid") / "cells.raw");
}

TEST(ImageTool, PackedRunsHoldTheSameCellsAsBinaryRows) {
    const ScratchFolder scratch;
    for (const std::string type : {"byte", "integer"}) {
        const std::string binary = Converted(scratch, type, "binary");
        EXPECT_EQ(binary.size(), 700u * 30 * 4);
        EXPECT_NE(binary.find("\x01\x00\x00\x80", 0, 4), std::string::npos) << type << ": no flagged cell";
        EXPECT_EQ(Converted(scratch, type, "packed"), binary) << type;
    }
    EXPECT_EQ(Converted(scratch, "real", "binary").size(), 700u * 30 * 4);
}

}  // namespace
