// Runs that the world makes hard, with the project's own grid library:
// limits a shell sets, signals at awkward moments, stalled and endless
// input, runs at once on one name and on many, awkward names and files,
// random headers. Each leaves a whole grid and exits 0, or explains, exits
// non-zero and leaves no grid.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <random>
#include <thread>

#include "support/run_process.h"
#include "support/scratch_folder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ByteHeader(const std::string& fileType, int columns, int rows) {
    return "data type : byte\nfile type : " + fileType + "\ncolumns : " + std::to_string(columns) +
           "\nrows : " + std::to_string(rows) + "\nmin. X : 0\nmax. X : " + std::to_string(columns) +
           "\nmin. Y : 0\nmax. Y : " + std::to_string(rows) + "\n";
}

class HostileRuns : public testing::Test {
protected:
    void WriteImage(const std::string& base, int columns, int rows, const std::string& cells = "") {
        WriteFile(scratch / (base + ".doc"), ByteHeader("binary", columns, rows));
        WriteFile(scratch / (base + ".img"), cells.empty() ? std::string(std::size_t(columns) * rows, '\7') : cells);
    }
    ProcessResult Convert(const std::string& image, const std::string& grid) {
        return RunProcess({CELLPORT_PROGRAM, image, grid}, {}, scratch.Path());
    }
    const ScratchFolder scratch;
};

// A limit of 1 MB stops the cells; one of 200 bytes lets 40 bytes of cells
// through but not the grid's header.
TEST_F(HostileRuns, FileSizeLimitFailsTheWriteAndLeavesNoGrid) {
    WriteImage("large", 2000, 1000);
    WriteImage("small", 5, 2);
    const std::string program = ShellWord(CELLPORT_PROGRAM);
    const ProcessResult large = RunShell("ulimit -f 2048; exec " + program + " large grid", scratch.Path());
    EXPECT_EQ(large.exitStatus, 1);
    EXPECT_TRUE(large.standardOutput.starts_with("Could not write row ")) << large.standardOutput;
    const ProcessResult small = RunShell("exec prlimit --fsize=200 " + program + " small grid", scratch.Path());
    EXPECT_EQ(small.exitStatus, 1);
    EXPECT_EQ(small.standardOutput, "Could not close output grid\n");
    EXPECT_FALSE(fs::exists(scratch / "grid"));
}

// Started with the signal dispositions a shell gives a program.
pid_t Start(const fs::path& folder, const std::vector<std::string>& arguments, const fs::path& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t process = -1;
    posix_spawn(&process, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return process;
}

char ProcessState(pid_t process) {
    const std::string stat = ReadFile("/proc/" + std::to_string(process) + "/stat");
    const std::size_t end = stat.rfind(')');
    return end == std::string::npos ? '?' : stat.at(end + 2);
}

// The exit status, or -1 when the process had to be killed after 20 s.
int Finish(pid_t process) {
    int status = 0;
    for (auto waited = 0ms; waited < 20s; waited += 10ms) {
        if (waitpid(process, &status, WNOHANG) == process) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(10ms);
    }
    kill(process, SIGKILL);
    waitpid(process, &status, 0);
    return -1;
}

struct Stall {
    const char* what;
    const char* fileType;
    int signal;
};

class Interruptions : public HostileRuns, public testing::WithParamInterface<Stall> {};

// The data file is a FIFO that never delivers a byte, or a packed image
// whose data is endless empty runs; the signal comes while the run waits
// in a read or spins inside one row.
TEST_P(Interruptions, EndTheRunPromptlyAndRemoveTheGrid) {
    const auto& [what, fileType, signal] = GetParam();
    WriteFile(scratch / "image.doc", ByteHeader(fileType, 1000, 100));
    int writer = -1;
    if (std::string(fileType) == "binary") {
        ASSERT_EQ(mkfifo((scratch / "image.img").c_str(), 0600), 0);
        writer = open((scratch / "image.img").c_str(), O_RDWR);
    } else {
        fs::create_symlink("/dev/zero", scratch / "image.img");
    }
    const pid_t run = Start(scratch.Path(), {CELLPORT_PROGRAM, "image", "grid"}, scratch / "printed");
    // Waiting in the read, or spinning in the row, once the grid exists.
    const char awaited = writer >= 0 ? 'S' : 'R';
    for (auto waited = 0ms; waited < 30s && !(fs::exists(scratch / "grid") && ProcessState(run) == awaited); waited += 5ms)
        std::this_thread::sleep_for(5ms);
    kill(run, signal);
    EXPECT_EQ(Finish(run), 130);
    EXPECT_EQ(ReadFile(scratch / "printed"), "Conversion interrupted\n");
    EXPECT_FALSE(fs::exists(scratch / "grid"));
    if (writer >= 0) close(writer);
}

INSTANTIATE_TEST_SUITE_P(, Interruptions,
                         testing::Values(Stall{"StalledFifoSigint", "binary", SIGINT},
                                         Stall{"StalledFifoSigterm", "binary", SIGTERM},
                                         Stall{"StalledFifoSighup", "binary", SIGHUP},
                                         Stall{"EndlessEmptyRunsSigint", "packed binary", SIGINT}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(HostileRuns, TwoRunsOnOneNameLeaveOneWholeGrid) {
    WriteImage("image", 1500, 1500);
    ASSERT_EQ(Convert("image", "reference").exitStatus, 0);
    const std::string program = ShellWord(CELLPORT_PROGRAM);
    const ProcessResult runs = RunShell("(" + program + " image grid; echo $?) >first & (" + program +
                                            " image grid; echo $?) >second & wait",
                                        scratch.Path());
    const std::string printed = ReadFile(scratch / "first") + ReadFile(scratch / "second");
    EXPECT_TRUE(printed == "0\nOutput grid already exists\n1\n" || printed == "Output grid already exists\n1\n0\n" ||
                printed == "0\nCould not create output grid\n1\n" || printed == "Could not create output grid\n1\n0\n")
        << printed;
    EXPECT_EQ(ReadFile(scratch / "grid/cells.raw"), ReadFile(scratch / "reference/cells.raw"));
    EXPECT_EQ(ReadFile(scratch / "grid/cells.hdr"), ReadFile(scratch / "reference/cells.hdr"));
}

// The README's command for a folder of images, run as a user would run it.
std::string ReadmeBatchCommand() {
    const std::string readme = ReadFile(fs::path(CELLPORT_SOURCE_DIR) / "README.md");
    const std::size_t section = readme.find("## Many images at once");
    const std::size_t start = readme.find("```sh\n", section) + 6;
    return readme.substr(start, readme.find("```", start) - start);
}

TEST_F(HostileRuns, BatchCommandConvertsAFolderAndReportsEachFailure) {
    fs::create_directories(scratch / "images/sub");
    fs::create_directories(scratch / "grids/killed");
    for (const char* image : {"images/a", "images/b", "images/c", "images/sub/d", "images/killed"}) WriteImage(image, 40, 30);
    WriteImage("images/corrupt", 40, 30, "short");
    WriteFile(scratch / "grids/c", "taken by a file of the user's");
    const std::string batch = "PATH=" + ShellWord(fs::path(CELLPORT_PROGRAM).parent_path().string()) + ":$PATH\n" + ReadmeBatchCommand();
    const ProcessResult first = RunShell(batch, scratch.Path());
    EXPECT_EQ(first.exitStatus, 123);
    const std::string failures = first.standardError;
    EXPECT_NE(failures.find("images/corrupt: status 1: Could not read 40 bytes at 0\nf_read = '5'\n"), std::string::npos) << failures;
    EXPECT_NE(failures.find("images/c: status 1: Output grid already exists\n"), std::string::npos) << failures;
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(scratch / "grids"))
        left.push_back(fs::relative(entry.path(), scratch / "grids").generic_string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"a", "a/cells.hdr", "a/cells.raw", "b", "b/cells.hdr", "b/cells.raw", "c",
                                              "killed", "killed/cells.hdr", "killed/cells.raw", "sub", "sub/d",
                                              "sub/d/cells.hdr", "sub/d/cells.raw"}));
    // Again, once the failures are mended: only those two are converted.
    fs::remove(scratch / "grids/c");
    WriteImage("images/corrupt", 40, 30);
    const auto made = fs::last_write_time(scratch / "grids/a/cells.hdr");
    const ProcessResult second = RunShell(batch, scratch.Path());
    EXPECT_EQ(second.exitStatus, 0) << second.standardError;
    EXPECT_TRUE(fs::exists(scratch / "grids/c/cells.hdr"));
    EXPECT_TRUE(fs::exists(scratch / "grids/corrupt/cells.hdr"));
    EXPECT_EQ(fs::last_write_time(scratch / "grids/a/cells.hdr"), made);
}

TEST_F(HostileRuns, AwkwardNamesConvert) {
    const std::string folder = std::string(120, 'f') + " with spaces/" + std::string(120, 'g') + " too";
    fs::create_directories(scratch / folder);
    for (const std::string& name : {folder + "/" + std::string(60, 'i') + " image", std::string("say \"hi\" 'there'"),
                                    std::string("tab\there"), std::string("b\\ack\\"), std::string("n\xC3\xBCmbers")}) {
        WriteImage(name, 4, 3);
        const ProcessResult run = Convert(name, name + " grid/");
        EXPECT_EQ(run.exitStatus, 0) << name << ": " << run.standardOutput;
        EXPECT_TRUE(fs::exists(scratch / (name + " grid") / "cells.hdr")) << name;
    }
}

TEST_F(HostileRuns, FoldersAndLinksWhereFilesBelong) {
    fs::create_directory(scratch / "folder.doc");
    EXPECT_EQ(Convert("folder", "grid").standardOutput, "Could not open folder.doc.\n");
    WriteImage("image", 3, 2);
    fs::remove(scratch / "image.img");
    fs::create_directory(scratch / "image.img");
    EXPECT_EQ(Convert("image", "grid").standardOutput, "Could not open image.img.\n");
    fs::remove(scratch / "image.img");
    fs::create_symlink("nowhere", scratch / "image.img");
    EXPECT_EQ(Convert("image", "grid").standardOutput, "Could not open image.img.\n");
    EXPECT_FALSE(fs::exists(scratch / "grid"));
    fs::create_symlink("nowhere", scratch / "link");
    WriteImage("image", 3, 2);
    EXPECT_EQ(Convert("image", "link").standardOutput, "Output grid already exists\n");
    EXPECT_TRUE(fs::is_symlink(scratch / "link"));
}

TEST_F(HostileRuns, RandomHeadersNeverCrashOrLeaveAHalfGrid) {
    const char* keys[] = {"data type : ", "file type : ", "columns : ", "rows : ", "min. X : ",
                          "min. Y : ",    "max. X : ",    "max. Y : ",  "flag value : "};
    const char* values[] = {"byte", "integer", "real", "binary", "packed binary", "ascii", "0", "1",
                            "3", "-1", "1e308", "nan", "2147483647", "none", ""};
    std::mt19937 random(20261207);
    WriteFile(scratch / "image.img", std::string(64, '\3'));
    for (int header = 0; header < 40; ++header) {
        std::string text;
        for (int line = 0; line < 12; ++line) {
            if (random() % 3 == 0) {
                for (int byte = random() % 90; byte > 0; --byte) text += static_cast<char>(random() % 256);
            } else {
                text += std::string(keys[random() % 9]) + values[random() % 15];
            }
            text += random() % 4 ? "\n" : "\r\n";
        }
        WriteFile(scratch / "image.doc", text);
        const ProcessResult run = Convert("image", "grid");
        ASSERT_TRUE(run.exitStatus == 0 || run.exitStatus == 1) << header << ": " << run.exitStatus;
        EXPECT_EQ(run.standardError, "");
        EXPECT_EQ(fs::exists(scratch / "grid"), run.exitStatus == 0) << run.standardOutput;
        fs::remove_all(scratch / "grid");
    }
}

}  // namespace
