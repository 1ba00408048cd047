// Runs that the world makes hard, with the project's own grid library:
// limits a shell sets, signals at awkward moments, stalled and endless
// input, runs at once on one name and on many, awkward names and files.
// Each leaves a whole grid and exits 0, or explains, exits non-zero and
// leaves no grid.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
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
    std::string Printed(const std::string& arguments) { return Shell(program + " " + arguments).standardOutput; }
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

// Started as a shell starts a program: every signal at its default.
pid_t Start(const fs::path& folder) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (folder / "printed").c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const char* argv[] = {CELLPORT_PROGRAM, "image", "grid", nullptr};
    pid_t process = -1;
    posix_spawn(&process, argv[0], &actions, &attributes, const_cast<char**>(argv), nullptr);
    return process;
}

char ProcessState(pid_t process) {
    const std::string stat = ReadFile("/proc/" + std::to_string(process) + "/stat");
    return stat.size() > stat.rfind(')') + 2 ? stat[stat.rfind(')') + 2] : '?';
}

// The exit status, or -1 when the process had to be killed after 20 s.
int Finish(pid_t process) {
    int status = 0;
    for (auto waited = 0ms; waited < 20s; waited += 10ms, std::this_thread::sleep_for(10ms))
        if (waitpid(process, &status, WNOHANG) == process) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    kill(process, SIGKILL);
    waitpid(process, &status, 0);
    return -1;
}

// The data file is a FIFO that never delivers a byte, or a packed image
// whose data is endless empty runs: the signal comes while the run waits
// in a read, or spins inside one row, once its grid exists.
TEST_F(HostileRuns, InterruptionsEndTheRunPromptlyAndRemoveTheGrid) {
    for (const auto& [stalled, signal] : {std::pair(true, SIGINT), {true, SIGTERM}, {true, SIGHUP}, {false, SIGINT}}) {
        SCOPED_TRACE((stalled ? "stalled FIFO, signal " : "endless runs, signal ") + std::to_string(signal));
        fs::remove(scratch / "image.img");
        fs::remove(scratch / "printed");
        WriteFile(scratch / "image.doc", ByteHeader(stalled ? "binary" : "packed binary", 1000, 100));
        if (stalled) {
            ASSERT_EQ(mkfifo((scratch / "image.img").c_str(), 0600), 0);
        } else {
            fs::create_symlink("/dev/zero", scratch / "image.img");
        }
        const int writer = stalled ? open((scratch / "image.img").c_str(), O_RDWR) : -1;
        const pid_t run = Start(scratch.Path());
        for (auto waited = 0ms; waited < 20s && !(fs::exists(scratch / "grid") && ProcessState(run) == (stalled ? 'S' : 'R'));
             waited += 5ms)
            std::this_thread::sleep_for(5ms);
        kill(run, signal);
        EXPECT_EQ(Finish(run), 130);
        EXPECT_EQ(ReadFile(scratch / "printed"), "Conversion interrupted\n");
        EXPECT_FALSE(fs::exists(scratch / "grid"));
        if (writer >= 0) close(writer);
    }
}

TEST_F(HostileRuns, TwoRunsOnOneNameLeaveOneWholeGrid) {
    WriteImage("image", 1500, 1500);
    ASSERT_EQ(Shell(program + " image reference").exitStatus, 0);
    Shell("(" + program + " image grid; echo $?) >first & (" + program + " image grid; echo $?) >second & wait");
    const std::string first = ReadFile(scratch / "first"), second = ReadFile(scratch / "second");
    const auto lost = [](const std::string& printed) {
        return printed == "Output grid already exists\n1\n" || printed == "Could not create output grid\n1\n";
    };
    EXPECT_TRUE((first == "0\n" && lost(second)) || (second == "0\n" && lost(first))) << first << second;
    EXPECT_EQ(ReadFile(scratch / "grid/cells.raw"), ReadFile(scratch / "reference/cells.raw"));
    EXPECT_EQ(ReadFile(scratch / "grid/cells.hdr"), ReadFile(scratch / "reference/cells.hdr"));
}

// The README's command for a folder of images, run as a user would run it.
TEST_F(HostileRuns, BatchCommandConvertsAFolderAndReportsEachFailure) {
    const std::string readme = ReadFile(fs::path(CELLPORT_SOURCE_DIR) / "README.md");
    const std::size_t start = readme.find("```sh\n", readme.find("## Many images at once")) + 6;
    const std::string batch = "PATH=" + ShellWord(fs::path(CELLPORT_PROGRAM).parent_path().string()) + ":$PATH\n" +
                              readme.substr(start, readme.find("```", start) - start);
    fs::create_directories(scratch / "images/sub");
    fs::create_directories(scratch / "grids/killed");
    for (const char* image : {"images/a", "images/b", "images/c", "images/sub/d", "images/killed"}) WriteImage(image, 40, 30);
    WriteImage("images/corrupt", 40, 30, "short");
    WriteFile(scratch / "grids/c", "a file of the user's");
    const ProcessResult first = Shell(batch);
    EXPECT_EQ(first.exitStatus, 123);
    EXPECT_NE(first.standardError.find("images/corrupt: status 1: Could not read 40 bytes at 0\nf_read = '5'\n"),
              std::string::npos) << first.standardError;
    EXPECT_NE(first.standardError.find("images/c: status 1: Output grid already exists\n"), std::string::npos);
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(scratch / "grids"))
        left.push_back(fs::relative(entry.path(), scratch / "grids").generic_string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a", "a/cells.hdr", "a/cells.raw", "b", "b/cells.hdr", "b/cells.raw", "c",
                                              "killed", "killed/cells.hdr", "killed/cells.raw", "sub", "sub/d",
                                              "sub/d/cells.hdr", "sub/d/cells.raw"}));
    // Once the two failures are mended, a rerun converts only those two.
    fs::remove(scratch / "grids/c");
    WriteImage("images/corrupt", 40, 30);
    const auto made = fs::last_write_time(scratch / "grids/a/cells.hdr");
    EXPECT_EQ(Shell(batch).exitStatus, 0);
    EXPECT_TRUE(fs::exists(scratch / "grids/c/cells.hdr") && fs::exists(scratch / "grids/corrupt/cells.hdr"));
    EXPECT_EQ(fs::last_write_time(scratch / "grids/a/cells.hdr"), made);
}

TEST_F(HostileRuns, AwkwardNamesConvert) {
    const std::string folder = std::string(120, 'f') + " with spaces/" + std::string(120, 'g');
    fs::create_directories(scratch / folder);
    for (const std::string& name : {folder + "/" + std::string(60, 'i'), std::string("say \"hi\" 'there'"),
                                   std::string("tab\there"), std::string("b\\ack\\"), std::string("n\xC3\xBCmbers")}) {
        WriteImage(name, 4, 3);
        EXPECT_EQ(Printed(ShellWord(name) + " " + ShellWord(name + " grid/")), "") << name;
        EXPECT_TRUE(fs::exists(scratch / (name + " grid") / "cells.hdr")) << name;
    }
}

TEST_F(HostileRuns, FoldersAndLinksWhereFilesBelong) {
    fs::create_directory(scratch / "folder.doc");
    EXPECT_EQ(Printed("folder grid"), "Could not open folder.doc.\n");
    WriteImage("image", 3, 2);
    fs::remove(scratch / "image.img");
    fs::create_directory(scratch / "image.img");
    EXPECT_EQ(Printed("image grid"), "Could not open image.img.\n");
    fs::remove(scratch / "image.img");
    fs::create_symlink("nowhere", scratch / "image.img");
    EXPECT_EQ(Printed("image grid"), "Could not open image.img.\n");
    EXPECT_FALSE(fs::exists(scratch / "grid"));
    fs::create_symlink("nowhere", scratch / "link");
    EXPECT_EQ(Printed("image link"), "Output grid already exists\n");
    EXPECT_TRUE(fs::is_symlink(scratch / "link"));
}

}  // namespace
