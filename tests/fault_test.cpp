// Runs that go wrong from outside: a full disk, a folder that cannot take
// the grid, two runs racing for one name, interruption, awkward names and
// files, and headers of random bytes. Each either leaves a whole grid and
// exits 0, or explains, exits non-zero and leaves no grid.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/scratch_folder.h"
#include "tools/image_writer.h"

namespace {

namespace fs = std::filesystem;

#ifndef _WIN32  // FIFOs
// Waits up to a minute for a reader, so that a run that fails before it
// opens its data file fails the test instead of hanging it.
int OpenPipeOnceRead(const fs::path& path) {
    for (int attempt = 0; attempt < 6000; ++attempt) {
        const int pipe = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (pipe >= 0) {
            fcntl(pipe, F_SETFL, fcntl(pipe, F_GETFL) & ~O_NONBLOCK);
            return pipe;
        }
        usleep(10000);
    }
    return -1;
}
#endif

class Faults : public testing::Test {
protected:
    void WriteIntegerImage(const std::string& base, int columns, int rows) {
        ImageDescription description;
        description.cellType = ImageCellType::Integer;
        description.columns = columns;
        description.rows = rows;
        const RowSource rowSource = [](std::int32_t row, std::span<double> cells) {
            for (std::size_t column = 0; column < cells.size(); ++column)
                cells[column] = static_cast<double>((row * 31 + static_cast<int>(column)) % 30000);
        };
        ASSERT_EQ(WriteImageRows((scratch / base).string(), description, rowSource), WriteStatus::Written);
    }

    ProcessSetup Setup() const { return {{}, scratch.Path(), -1}; }

    ProcessResult Convert(const std::string& image, const std::string& grid) {
        StartedProcess process = StartProcess({CELLPORT_PROGRAM, image, grid}, Setup());
        return FinishProcess(process);
    }

    ScratchFolder scratch;
};

TEST_F(Faults, FullDiskPartWayLeavesNoGrid) {
    WriteIntegerImage("image", 2000, 500);  // a grid of 4 MB
    ProcessSetup setup = Setup();
    setup.fileSizeLimit = 1 << 20;
    StartedProcess process = StartProcess({CELLPORT_PROGRAM, "image", "grid"}, setup);
    const ProcessResult run = FinishProcess(process);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(run.standardOutput.starts_with("Could not write row ") ||
                run.standardOutput == "Could not close output grid\n")
        << run.standardOutput;
    EXPECT_FALSE(fs::exists(scratch / "grid"));
}

TEST_F(Faults, GridFolderThatCannotBeMade) {
    WriteIntegerImage("image", 3, 2);
    WriteFile(scratch / "a file", "");
    for (const std::string grid : {"missing/grid", "a file/grid", "/proc/cellport-grid"}) {
        const ProcessResult run = Convert("image", grid);
        EXPECT_EQ(run.exitStatus, 1) << grid;
        EXPECT_EQ(run.standardOutput, "Could not create output grid\n") << grid;
    }
    EXPECT_FALSE(fs::exists(scratch / "missing"));
    EXPECT_EQ(fs::file_size(scratch / "a file"), 0u);
}

TEST_F(Faults, TwoRunsRacingForOneName) {
    WriteIntegerImage("image", 1500, 1500);
    ASSERT_EQ(Convert("image", "reference").exitStatus, 0);
    StartedProcess first = StartProcess({CELLPORT_PROGRAM, "image", "grid"}, Setup());
    StartedProcess second = StartProcess({CELLPORT_PROGRAM, "image", "grid"}, Setup());
    const ProcessResult runs[] = {FinishProcess(first), FinishProcess(second)};
    const int winners = (runs[0].exitStatus == 0) + (runs[1].exitStatus == 0);
    EXPECT_EQ(winners, 1);
    for (const auto& run : runs) {
        if (run.exitStatus == 0) continue;
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_TRUE(run.standardOutput == "Output grid already exists\n" ||
                    run.standardOutput == "Could not create output grid\n")
            << run.standardOutput;
    }
    EXPECT_EQ(ReadFile(scratch / "grid" / "cells.raw"), ReadFile(scratch / "reference" / "cells.raw"));
    EXPECT_EQ(ReadFile(scratch / "grid" / "cells.hdr"), ReadFile(scratch / "reference" / "cells.hdr"));
}

#ifndef _WIN32  // FIFOs and signals from outside
TEST_F(Faults, InterruptedRunLeavesNoGridAndCanBeRerun) {
    // The data file is a pipe, so the run waits for rows while the signal
    // arrives; the rows that follow it let the run reach its next check.
    const std::string header =
        "data type : byte\nfile type : binary\ncolumns : 1000\nrows : 100\n"
        "min. X : 0\nmax. X : 1000\nmin. Y : 0\nmax. Y : 100\n";
    std::signal(SIGPIPE, SIG_IGN);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        WriteFile(scratch / "image.doc", header);
        fs::remove(scratch / "image.img");
        ASSERT_EQ(mkfifo((scratch / "image.img").c_str(), 0600), 0);
        StartedProcess process = StartProcess({CELLPORT_PROGRAM, "image", "grid"}, Setup());
        const int pipe = OpenPipeOnceRead(scratch / "image.img");
        ASSERT_GE(pipe, 0) << "the run never opened its data file";
        kill(process.id, signal);
        const std::string rows(2000, '\7');
        EXPECT_EQ(write(pipe, rows.data(), rows.size()), static_cast<ssize_t>(rows.size()));
        close(pipe);
        const ProcessResult run = FinishProcess(process);
        EXPECT_EQ(run.exitStatus, 130) << signal;
        EXPECT_EQ(run.standardOutput, "Conversion interrupted\n");
        EXPECT_FALSE(fs::exists(scratch / "grid"));
    }
    fs::remove(scratch / "image.img");
    WriteFile(scratch / "image.img", std::string(100000, '\7'));
    EXPECT_EQ(Convert("image", "grid").exitStatus, 0);
}
#endif

TEST_F(Faults, LongNamesWithSpaces) {
    const std::string folder = std::string(120, 'f') + " with spaces/" + std::string(120, 'g') + " too";
    fs::create_directories(scratch / folder);
    const std::string image = folder + "/" + std::string(60, 'i') + " image";
    const std::string grid = folder + "/" + std::string(60, 'o') + " grid";
    ASSERT_GE(image.size(), 300u);
    WriteIntegerImage(image, 4, 3);
    const ProcessResult run = Convert(image, grid);
    EXPECT_EQ(run.exitStatus, 0) << run.standardOutput;
    EXPECT_TRUE(fs::exists(scratch / grid / "cells.hdr"));
}

TEST_F(Faults, FoldersAndEmptyFilesInPlaceOfImageFiles) {
    const std::string header =
        "data type : byte\nfile type : packed binary\ncolumns : 3\nrows : 2\n"
        "min. X : 0\nmax. X : 3\nmin. Y : 0\nmax. Y : 2\n";
    fs::create_directory(scratch / "folder.doc");
    EXPECT_EQ(Convert("folder", "grid").standardOutput, "Could not open folder.doc.\n");
    WriteFile(scratch / "image.doc", header);
    fs::create_directory(scratch / "image.img");
    EXPECT_EQ(Convert("image", "grid").standardOutput, "Could not open image.img.\n");
    fs::remove(scratch / "image.img");
    WriteFile(scratch / "image.img", "");
    EXPECT_EQ(Convert("image", "grid").standardOutput, "Could not read 3 bytes at 0\nf_read = '0'\n");
    EXPECT_FALSE(fs::exists(scratch / "grid"));
}

TEST_F(Faults, HeadersOfRandomBytes) {
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
        ASSERT_TRUE(run.exitStatus == 0 || run.exitStatus == 1)
            << "header " << header << ": status " << run.exitStatus << " " << run.standardError;
        EXPECT_EQ(run.standardError, "");
        EXPECT_EQ(fs::exists(scratch / "grid"), run.exitStatus == 0) << run.standardOutput;
        fs::remove_all(scratch / "grid");
    }
}

}  // namespace
