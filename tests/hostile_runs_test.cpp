// Runs that the world makes hard, with the project's own grid library:
// limits a shell sets, signals at awkward moments, stalled and endless
// input, many runs at once. None may leave a half-made grid.
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

// The README's command for a folder of images, run as a user would run it.
TEST_F(HostileRuns, BatchCommandConvertsAFolderAndReportsEachFailure) {
    const std::string readme = ReadFile(fs::path(CELLPORT_SOURCE_DIR) / "README.md");
    const std::size_t start = readme.find("```sh\n", readme.find("## Many images at once")) + 6;
    const std::string batch = "PATH=" + ShellWord(fs::path(CELLPORT_PROGRAM).parent_path().string()) + ":$PATH\n" +
                              readme.substr(start, readme.find("```", start) - start);
    fs::create_directories(scratch / "images/sub");
    fs::create_directories(scratch / "grids/killed");
    for (const char* image : {"images/a", "images/b", "images/c", "images/sub/d", "images/killed"})
        WriteImage(image, 40, 30);
    WriteImage("images/corrupt", 40, 30, "short");
    WriteFile(scratch / "grids/c", "a file of the user's");
    const ProcessResult first = Shell(batch);
    EXPECT_EQ(first.exitStatus, 123);
    for (const char* failure : {"images/corrupt: status 1: Could not read 40 bytes at 0\nf_read = '5'\n",
                                "images/c: status 1: Output grid already exists\n"})
        EXPECT_NE(first.standardError.find(failure), std::string::npos) << first.standardError;
    EXPECT_EQ(Shell("cd grids && find . | LC_ALL=C sort").standardOutput,
              ".\n./a\n./a/cells.hdr\n./a/cells.raw\n./b\n./b/cells.hdr\n./b/cells.raw\n./c\n./killed\n"
              "./killed/cells.hdr\n./killed/cells.raw\n./sub\n./sub/d\n./sub/d/cells.hdr\n./sub/d/cells.raw\n");
    // Once the two failures are mended, a rerun converts only those two.
    fs::remove(scratch / "grids/c");
    WriteImage("images/corrupt", 40, 30);
    const auto made = fs::last_write_time(scratch / "grids/a/cells.hdr");
    EXPECT_EQ(Shell(batch).exitStatus, 0);
    EXPECT_TRUE(fs::exists(scratch / "grids/c/cells.hdr") && fs::exists(scratch / "grids/corrupt/cells.hdr"));
    EXPECT_EQ(fs::last_write_time(scratch / "grids/a/cells.hdr"), made);
}

// A grid's folder is removed, or moved away, while its run waits on its
// input, and a folder of that name appears: another run's, or the user's.
// The first run must fail without writing into either folder, and the new
// folder must stay exactly as it was.
TEST_F(HostileRuns, AFolderMadeAnewUnderARunIsLeftAlone) {
    const struct {
        std::string removal, replacement;
        bool secondRun;
    } cases[] = {{"rm -rf grid", "exec 5<>second.img; " + program + " second grid & second=$!\n"
                                  "(sleep 20; kill -9 $second) 2>/dev/null & watchdog2=$!; await $second", true},
                 {"rm -rf grid", "mkdir grid; echo mine >grid/notes.txt", false},
                 {"mv grid grid.moved", "mkdir grid; echo mine >grid/cells.raw", false}};
    for (const auto& [removal, replacement, secondRun] : cases) {
        SCOPED_TRACE(removal + "; " + replacement);
        for (const char* base : {"first.doc", "second.doc"}) WriteFile(scratch / base, ByteHeader("binary", 4, 2));
        const ProcessResult run = Shell(
            "rm -rf grid grid.moved first.img second.img; mkfifo first.img second.img; exec 4<>first.img\n"
            "await() { for wait in $(seq 4000); do\n"
            "  [ -d grid ] && grep -q '^State:.*S' /proc/$1/status && return; sleep 0.005; done; }\n"
            "snapshot() { find grid -printf '%p %y %s %T@\\n' | LC_ALL=C sort; find grid -type f -exec cat {} +; }\n"
            + program + " first grid & first=$!\n"
            "(sleep 20; kill -9 $first) 2>/dev/null & watchdog=$!\n"
            "await $first; " + removal + "; " + replacement + "\n"
            "snapshot >before; printf '\\1\\2\\3\\4\\5\\6\\7\\10' >&4\n"
            "wait $first; echo \"first: $?\"; snapshot >after; cmp -s before after && echo untouched\n"
            "ls grid.moved 2>/dev/null\n"
            "if [ -n \"$second\" ]; then\n"
            "  printf '\\1\\2\\3\\4\\5\\6\\7\\10' >&5; wait $second; echo \"second: $?\"\nfi\n"
            "kill $watchdog $watchdog2");
        EXPECT_EQ(run.standardOutput, std::string("Could not close output grid\nfirst: 1\nuntouched\n") +
                                          (removal.starts_with("mv") ? "cells.raw\n" : "") +
                                          (secondRun ? "second: 0\n" : ""));
        if (secondRun) {
            EXPECT_EQ(FolderListing(scratch / "grid"), (std::vector<std::string>{"cells.hdr", "cells.raw"}));
        }
    }
}

}  // namespace
