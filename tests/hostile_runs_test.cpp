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

// Started as a terminal's job is: a shell's background job would ignore
// SIGINT and SIGQUIT, and the converter leaves ignored signals ignored.
const std::string asJob = "env --default-signal=INT,QUIT " + program;

// Until the run has made its grid (or met another condition) and waits in a
// system call (S) or spins inside one row (R).
std::string AwaitGridAndState(const std::string& state, const std::string& grid = "grid",
                              const std::string& condition = "") {
    return "for wait in $(seq 4000); do\n"
           "  " + (condition.empty() ? "[ -e " + grid + " ]" : condition) + " && grep -q '^State:.*" + state + "' /proc/$run/status && break; sleep 0.005\n"
           "done\n";
}
const std::string watchdog = "(sleep 20; kill -9 $run) 2>/dev/null & watchdog=$!\n";

// The data file is a FIFO that never delivers a byte (its writer kept open,
// or none ever), or a packed image whose data is endless empty runs, or
// endless noise that keeps the GeoTIFF workers compressing at a slow level.
// Once the grid exists (with tiles written, for noise) and the run waits or
// spins, the signal comes; a run that does not end is killed after 20 s.
TEST_F(HostileRuns, InterruptionsEndTheRunPromptlyAndRemoveTheGrid) {
    const std::string stalled = "mkfifo image.img; exec 3<>image.img", noWriter = "mkfifo image.img",
                      endless = "ln -s /dev/zero image.img",
                      noise = "export MDGRIDIO_ZSTD_LEVEL=19 MDGRIDIO_THREADS=2; mkfifo image.img; "
                              "cat /dev/urandom >image.img 2>/dev/null &";
    const struct {
        const std::string& data;
        const char *signal, *grid;
    } cases[] = {{stalled, "INT", "grid"},  {stalled, "TERM", "grid"},  {stalled, "HUP", "grid"},
                 {stalled, "QUIT", "grid"}, {noWriter, "INT", "grid"},  {noWriter, "QUIT", "grid"},
                 {endless, "INT", "grid"},  {stalled, "INT", "grid.tif"}, {endless, "TERM", "grid.tif"},
                 {noise, "INT", "grid.tif"}};
    for (const auto& [data, signal, grid] : cases) {
#ifndef CELLPORT_GEOTIFF
        if (std::string(grid).ends_with(".tif")) continue;
#endif
        SCOPED_TRACE(data + ", SIG" + signal + ", " + grid);
        const bool busy = &data == &noise;
        WriteFile(scratch / "image.doc",
                  ByteHeader(&data == &endless ? "packed binary" : "binary", busy ? 4000 : 1000, busy ? 100000 : 100));
        const std::string await = busy ? AwaitGridAndState("[RS]", grid, "[ $(stat -c %s grid.tif.partial 2>/dev/null || echo 0) -gt 200000 ]")
                                       : AwaitGridAndState(&data == &endless ? "R" : "S", grid);
        const ProcessResult run = Shell("rm -rf grid image.img; " + data + "\n" + asJob + " image " + grid +
                                        " & run=$!\n" + watchdog + await + "kill -" +
                                        signal + " $run; wait $run; status=$?; kill $watchdog; exit $status");
        EXPECT_EQ(run.exitStatus, 130);
        EXPECT_EQ(run.standardOutput, "Conversion interrupted\n");
        for (const std::string& left : {std::string(grid), grid + std::string(".partial")})
            EXPECT_FALSE(fs::exists(fs::symlink_status(scratch / left))) << left;
    }
}

// Under nohup, or in a script's background job (which ignores SIGINT and
// SIGQUIT even without the trap): the signal that comes while the run waits
// on its FIFO changes nothing, and the data fed after it makes a whole grid.
// The data fits into the FIFO's buffer, so feeding it never waits.
TEST_F(HostileRuns, SignalsIgnoredAtTheStartStayIgnored) {
    WriteImage("image", 200, 100);
    for (const auto& [signal, start] : {std::pair("HUP", "nohup "), {"INT", "trap '' INT; "}, {"QUIT", "trap '' QUIT; "}}) {
        SCOPED_TRACE(std::string("SIG") + signal);
        const ProcessResult run = Shell("rm -rf grid image.img; mkfifo image.img; exec 3<>image.img\n" +
                                        std::string(start) + program + " image grid & run=$!\n" + watchdog +
                                        AwaitGridAndState("S") + "kill -" + signal +
                                        " $run; head -c 20000 /dev/zero >&3; exec 3>&-\n"
                                        "wait $run; status=$?; kill $watchdog; exit $status");
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.standardOutput, "");
        EXPECT_TRUE(fs::exists(scratch / "grid/cells.hdr"));
        EXPECT_EQ(fs::exists(scratch / "grid/cells.raw") ? fs::file_size(scratch / "grid/cells.raw") : 0, 80000u);
    }
}

// A signal delivered at the n-th read call, for every n up to the reads
// that the data needs: at a loader's read, before the grid, it ends the
// program at once; later the run ends with the clean-up; after the last row
// it changes nothing. Wherever it comes, a run waiting for the rest of its
// data ends. Only a run that waits with no signal sent yet is fed the rest.
TEST_F(HostileRuns, NoInterruptionIsLostWhateverReadItComesAt) {
    if (Shell("strace -o /dev/null true").exitStatus != 0) GTEST_SKIP() << "strace cannot trace here";
    WriteImage("image", 8, 2);
    // The leak checker at exit cannot stop a traced process's threads.
    const std::string traced = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 "
                               "env --default-signal=INT strace -f -o trace -e trace=read ";
    const auto runWithSignalAtRead = [&](int read) {
        const std::string inject = read > 0 ? "-e inject=read:signal=SIGINT:when=" + std::to_string(read) + " " : "";
        return Shell(
            "rm -rf grid image.img trace reads; mkfifo image.img; exec 3<>image.img; printf abcd >&3; : >trace\n" +
            traced + inject + program + " image grid & run=$!\n" + watchdog +
            "while kill -0 $run 2>/dev/null; do\n"
            "  pid=$(sed -n '1s/ .*//p' trace)\n"
            "  if [ -d grid ] && grep -q '^State:.*S' /proc/$pid/status 2>/dev/null && sleep 0.05 &&\n"
            "     ! grep -q -e '--- SIGINT' trace; then\n"
            "    grep -c 'read(' trace >reads; printf efghijklmnop >&3; break\n"
            "  fi\n"
            "  sleep 0.005\n"
            "done\n"
            "exec 3>&-; wait $run; status=$?; kill $watchdog; exit $status");
    };
    const ProcessResult plain = runWithSignalAtRead(0);
    ASSERT_EQ(plain.exitStatus, 0) << plain.standardError;
    ASSERT_TRUE(fs::exists(scratch / "reads")) << "the run never waited for the rest of its data";
    const int readsBeforeWaiting = std::stoi(ReadFile(scratch / "reads"));
    int interruptedRuns = 0;
    for (int read = 1; read <= readsBeforeWaiting + 3; ++read) {
        SCOPED_TRACE("SIGINT at read call " + std::to_string(read));
        const ProcessResult run = runWithSignalAtRead(read);
        if (run.exitStatus == 0) {
            EXPECT_EQ(run.standardOutput, "");
            EXPECT_EQ(ReadFile(scratch / "grid/cells.raw").size(), 64u);
            EXPECT_TRUE(fs::exists(scratch / "grid/cells.hdr"));
            continue;
        }
        EXPECT_EQ(run.exitStatus, 130);
        // Empty: the signal ended the program before it caught signals.
        EXPECT_TRUE(run.standardOutput.empty() || run.standardOutput == "Conversion interrupted\n")
            << run.standardOutput;
        EXPECT_FALSE(fs::exists(scratch / "grid"));
        interruptedRuns += run.standardOutput.empty() ? 0 : 1;
    }
    EXPECT_GE(interruptedRuns, 2);
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

// A batch clearing a killed run's leftover takes a grid folder made and not
// yet locked for one and removes it, just made or just opened: the run makes
// it again and converts.
TEST_F(HostileRuns, AGridFolderRemovedBeforeItsLockIsMadeAgain) {
    if (Shell("strace -o /dev/null true").exitStatus != 0) GTEST_SKIP() << "strace cannot trace here";
    WriteImage("image", 4, 2);
    for (const std::string window : {"mkdir,mkdirat:delay_exit", "flock:delay_enter"}) {
        SCOPED_TRACE(window);
        const ProcessResult run = Shell(
            "rm -rf grid; ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 "
            "strace -f -o /dev/null -e inject=" + window + "=500000:when=1 " + program + " image grid & run=$!\n"
            "for wait in $(seq 400); do [ -d grid ] && break; sleep 0.005; done; rmdir grid; wait $run");
        EXPECT_EQ(run.exitStatus, 0) << run.standardOutput;
        EXPECT_EQ(ReadFile(scratch / "grid/cells.raw").size(), 32u);
    }
}

#ifdef CELLPORT_GEOTIFF
// The GeoTIFF module comes from the grid library's own folder only: a
// library found through an empty entry of LD_LIBRARY_PATH (the current
// folder) has no module beside it, and none is looked for elsewhere.
TEST_F(HostileRuns, TheGeoTiffModuleComesOnlyFromBesideTheGridLibrary) {
    WriteImage("image", 3, 2);
    const fs::path build = fs::path(CELLPORT_PROGRAM).parent_path();
    fs::copy_file(build / "libmdgridio.so", scratch / "libmdgridio.so");
    const ProcessResult run = Shell("LD_LIBRARY_PATH=:" + ShellWord(build.string()) + " exec " + program + " image g.tif");
    EXPECT_EQ(run.standardOutput, "Could not create output grid\n");
    EXPECT_FALSE(fs::exists(scratch / "g.tif"));
}
#endif

}  // namespace
