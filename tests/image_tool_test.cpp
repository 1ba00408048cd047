// cellport-make-image makes the images of the benchmark, the examples and
// CI's checks: the same made-up cells must come out whichever layout holds
// them, under a header of only the converter's keys and a note.
#include <gtest/gtest.h>

#include <sstream>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

std::string Converted(const ScratchFolder& scratch, const std::string& type, const std::string& layout) {
    const std::string base = type + "-" + layout;
    const ProcessResult made =
        RunProcess({CELLPORT_MAKE_IMAGE, "--type", type, "--layout", layout, "--columns", "70", "--rows", "9",
                    "--pattern", "runs", "--max-run", "20", "--flag", "3", "--seed", "5", "--note", "made up", base},
                   {}, scratch.Path());
    EXPECT_EQ(made.exitStatus, 0) << made.standardError;
    std::istringstream header(ReadFile(scratch / (base + ".doc")));
    for (std::string line; std::getline(header, line);) {
        const std::string key = line.substr(0, line.find_first_of(" :"));
        EXPECT_TRUE(std::string(" data file columns rows min. max. flag note ").find(" " + key + " ") != std::string::npos)
            << line;
    }
    EXPECT_EQ(RunProcess({CELLPORT_PROGRAM, base, base + "-grid"}, {}, scratch.Path()).exitStatus, 0);
    return ReadFile(scratch / (base + "-grid") / "cells.raw");
}

TEST(ImageTool, PackedRunsHoldTheSameCellsAsBinaryRows) {
    const ScratchFolder scratch;
    for (const std::string type : {"byte", "integer"}) {
        const std::string binary = Converted(scratch, type, "binary");
        EXPECT_EQ(binary.size(), 70u * 9 * 4);
        EXPECT_NE(binary.find("\x01\x00\x00\x80", 0, 4), std::string::npos) << type << ": no flagged cell";
        EXPECT_EQ(Converted(scratch, type, "packed"), binary) << type;
    }
}

}  // namespace
