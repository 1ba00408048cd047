// Runs that the world makes hard, with the project's own grid library:
// limits a shell sets, signals at awkward moments, stalled and endless
// input. None may leave a half-made grid.
#include <gtest/gtest.h>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
const std::string program = ShellWord(CELLPORT_PROGRAM);

std::string ByteHeader(const std::string& fileType, int columns, int rows) {
    return "data type : byte\nfile type : " + fileType + "\ncolumns : " + std::to_string(columns) +
           "\nrows : " + std::to_string(rows) + "\nmin. X : 0\nmax. X : " + std::to_string(columns) +
           "\nmin. Y : 0\nmax. Y : " + std::to_string(rows) + "\n";
}

class HostileRuns : public testing::Test {
protected:
    void WriteImage(const std::string& base, int columns, int rows, std::string cells = "") {
        WriteFile(scratch / (base + ".doc"), ByteHeader("binary", columns, rows));
        WriteFile(scratch / (base + ".img"), cells.empty() ? std::string(std::size_t(columns) * rows, '\7') : cells);
    }
    ProcessResult Shell(const std::string& commandLine) { return RunShell(commandLine, scratch.Path()); }
    const ScratchFolder scratch;
};

// A limit of 2 MB stops the cells; one of 200 bytes lets 40 bytes of cells
// through but not the grid's header.
TEST_F(HostileRuns, FileSizeLimitFailsTheWriteAndLeavesNoGrid) {
    WriteImage("large", 2000, 1000);
    WriteImage("small", 5, 2);
    const ProcessResult large = Shell("ulimit -f 4096; exec " + program + " large grid");
    EXPECT_EQ(large.exitStatus, 1);
    EXPECT_TRUE(large.standardOutput.starts_with("Could not write row ")) << large.standardOutput;
    const ProcessResult small = Shell("exec prlimit --fsize=200 " + program + " small grid");
    EXPECT_EQ(small.exitStatus, 1);
    EXPECT_EQ(small.standardOutput, "Could not close output grid\n");
    EXPECT_FALSE(fs::exists(scratch / "grid"));
}

// The data file is a FIFO that never delivers a byte, or a packed image
// whose data is endless empty runs. Once the grid exists and the run waits
// in its read (S) or spins inside one row (R), the signal comes; a run that
// does not end is killed after 20 s.
TEST_F(HostileRuns, InterruptionsEndTheRunPromptlyAndRemoveTheGrid) {
    for (const auto& [stalled, signal] : {std::pair(true, "INT"), {true, "TERM"}, {true, "HUP"}, {false, "INT"}}) {
        SCOPED_TRACE((stalled ? "stalled FIFO, SIG" : "endless runs, SIG") + std::string(signal));
        WriteFile(scratch / "image.doc", ByteHeader(stalled ? "binary" : "packed binary", 1000, 100));
        const std::string data = stalled ? "mkfifo image.img; exec 3<>image.img" : "ln -s /dev/zero image.img";
        const std::string state = stalled ? "S" : "R";
        const ProcessResult run = Shell(
            "rm -rf grid image.img; " + data + "\n" + program + " image grid & run=$!\n"
            "(sleep 20; kill -9 $run) 2>/dev/null & watchdog=$!\n"
            "for wait in $(seq 4000); do\n"
            "  [ -d grid ] && grep -q '^State:.*" + state + "' /proc/$run/status && break; sleep 0.005\n"
            "done\n"
            "kill -" + signal + " $run; wait $run; status=$?; kill $watchdog; exit $status");
        EXPECT_EQ(run.exitStatus, 130);
        EXPECT_EQ(run.standardOutput, "Conversion interrupted\n");
        EXPECT_FALSE(fs::exists(scratch / "grid"));
    }
}

}  // namespace
