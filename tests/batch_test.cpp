// cellport-batch over trees of images as users have them: clashing names,
// grids and leftovers from earlier runs, things of the user's in the way,
// names with any bytes. Whatever happens, nothing but the new grids and a
// killed run's leftovers may change.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "support/run_process.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
const std::string batch = CELLPORT_BATCH_PROGRAM;

// Every path below the folder with its content; folders and links marked.
using Snapshot = std::map<std::string, std::string>;
Snapshot Snap(const fs::path& folder) {
    Snapshot snapshot;
    for (const std::string& name : FolderListing(folder)) {
        const fs::path path = folder / name;
        snapshot[name] = fs::is_symlink(path) ? "<link>" : fs::is_directory(path) ? "<folder>" : ReadFile(path);
    }
    return snapshot;
}

std::set<std::string> Lines(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.insert(line);
    return lines;
}

class Batch : public testing::Test {
protected:
    void Image(const std::string& base, const std::string& cells = std::string(12, '\7')) {
        fs::create_directories((scratch / base).parent_path());
        WriteFile(scratch / (base + ".doc"),
                  "data type : byte\nfile type : binary\ncolumns : 4\nrows : 3\n"
                  "min. X : 0\nmax. X : 4\nmin. Y : 0\nmax. Y : 3\n");
        WriteFile(scratch / (base + ".img"), cells);
    }
    void Folder(const std::string& path) { fs::create_directories(scratch / path); }
    ProcessResult Run(const std::vector<std::string>& arguments) {
        std::vector<std::string> command{batch};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return RunProcess(command, {}, scratch.Path());
    }
    // The grid files a converted image adds.
    static std::set<std::string> GridOf(const std::string& grid) { return {grid, grid + "/cells.hdr", grid + "/cells.raw"}; }
    const ScratchFolder scratch;
};

TEST_F(Batch, EveryKindOfImageAndGridPlaceInOneTree) {
    const std::vector<std::string> odd = {"with blank", "new\nline", "back\\slash", "quote's \"both\"", "-lead"};
    for (const std::string& name : odd) Image("images/" + name);
    Image("images/nested/deep/good");
    Image("images/2020");  // beside a folder of images of its name
    Image("images/2020/jan");
    Image("images/x");
    fs::copy_file(scratch / "images/x.doc", scratch / "images/x.DOC");
    fs::create_directory_symlink(".", scratch / "images/nested/loop");  // not followed
    WriteFile(scratch / "images/.doc", "no base name");
    WriteFile(scratch / "images/sub/.DOC", "no base name");
    Image("images/corrupt", "short");
    Image("images/taken");
    Folder("grids");
    WriteFile(scratch / "grids/taken", "a file of the user's");
    Image("images/killed");
    Folder("grids/killed");
    WriteFile(scratch / "grids/killed/cells.raw", "half");
    WriteFile(scratch / "grids/killed/cells.hdr.partial", "half");
    Image("images/blocked");
    Folder("grids/blocked");
    WriteFile(scratch / "grids/blocked/cells.raw", "the user's");
    WriteFile(scratch / "grids/blocked/notes.txt", "the user's");
    Image("images/done");
    Folder("grids/done");
    WriteFile(scratch / "grids/done/cells.hdr", "finished");
    WriteFile(scratch / "grids/done/cells.raw", "finished");

    const Snapshot before = Snap(scratch.Path());
    const ProcessResult first = Run({"-j", "3", "--log", "log", "images", "grids"});
    EXPECT_EQ(first.exitStatus, 1);
    const std::set<std::string> failures = {
        "images/2020: the grid's name is also the folder of other images' grids",
        "images/corrupt: status 1: Could not read 4 bytes at 4 / f_read = '1'",
        "images/taken: grids/taken is in the way: neither a grid nor what a killed run leaves",
        "images/blocked: grids/blocked is in the way: neither a grid nor what a killed run leaves",
        "cellport-batch: 9 converted, 1 kept, 4 failed"};
    EXPECT_EQ(Lines(first.standardError), failures) << first.standardError;

    std::set<std::string> log = {
        "images/done\tgrids/done\tkept\t\t",
        "images/2020\tgrids/2020\tfailed\t\tthe grid's name is also the folder of other images' grids",
        "images/corrupt\tgrids/corrupt\tfailed\t1\tCould not read 4 bytes at 4 / f_read = '1'",
        "images/taken\tgrids/taken\tfailed\t\tgrids/taken is in the way: neither a grid nor what a killed run leaves",
        "images/blocked\tgrids/blocked\tfailed\t\tgrids/blocked is in the way: neither a grid nor what a killed run leaves"};
    std::set<std::string> added = {"log", "grids/nested", "grids/nested/deep", "grids/2020"};
    const std::vector<std::pair<std::string, std::string>> converted = {
        {"with blank", "with blank"}, {"new\nline", "new\\nline"}, {"back\\slash", "back\\\\slash"},
        {"quote's \"both\"", "quote's \"both\""}, {"-lead", "-lead"}, {"nested/deep/good", "nested/deep/good"},
        {"2020/jan", "2020/jan"}, {"x", "x"}, {"killed", "killed"}};
    for (const auto& [name, escaped] : converted) {
        log.insert("images/" + escaped + "\tgrids/" + escaped + "\tconverted\t0\t");
        added.merge(GridOf("grids/" + name));
    }
    EXPECT_EQ(Lines(ReadFile(scratch / "log")), log);

    // Only the leftovers went; everything else is as it was, plus the grids.
    Snapshot after = Snap(scratch.Path());
    Snapshot expected = before;
    expected.erase("grids/killed/cells.hdr.partial");
    for (const std::string& path : added) {
        ASSERT_TRUE(after.contains(path)) << path;
        expected[path] = after[path];
    }
    EXPECT_EQ(after, expected);

    // Again: nothing converted twice, the same failures.
    const ProcessResult second = Run({"--log", "log", "images", "grids"});
    EXPECT_EQ(second.exitStatus, 1);
    std::set<std::string> again = failures;
    again.erase("cellport-batch: 9 converted, 1 kept, 4 failed");
    again.insert("cellport-batch: 0 converted, 10 kept, 4 failed");
    EXPECT_EQ(Lines(second.standardError), again);
    after.erase("log");
    Snapshot rerun = Snap(scratch.Path());
    rerun.erase("log");
    EXPECT_EQ(rerun, after);
}

// With the grids among the images, the images and every folder of the
// user's stay; only grids are added.
TEST_F(Batch, GridsAmongTheImagesDeleteNothing) {
    Image("data/a");
    Image("data/a/b");
    Image("data/c");
    Folder("data/c");
    WriteFile(scratch / "data/c/readme", "the user's");
    Image("data/d");
    const Snapshot before = Snap(scratch / "data");
    EXPECT_EQ(Run({"data", "data"}).exitStatus, 1);
    EXPECT_EQ(Run({"data", "./data/"}).exitStatus, 1);
    // A grids folder inside the images' folder is not searched for images.
    Image("data/grids/stray");
    EXPECT_EQ(Run({"--log", "log", "data", "data/grids"}).exitStatus, 1);
    EXPECT_EQ(Lines(ReadFile(scratch / "log")).size(), 4u);
    fs::remove_all(scratch / "data/grids");
    const Snapshot after = Snap(scratch / "data");
    for (const auto& [path, content] : before) EXPECT_EQ(after.at(path), content) << path;
    std::set<std::string> added;
    for (const auto& [path, content] : after)
        if (!before.contains(path)) added.insert(path);
    std::set<std::string> grids = GridOf("a/b");
    grids.merge(GridOf("d"));
    EXPECT_EQ(added, grids);
}

TEST_F(Batch, ShardsTogetherConvertEveryImageOnce) {
    std::set<std::string> all, converted;
    for (int image = 0; image < 10; ++image) {
        Image("in/" + std::to_string(image % 3) + "/" + std::to_string(image));
        all.insert("in/" + std::to_string(image % 3) + "/" + std::to_string(image));
    }
    for (const char* shard : {"0/3", "1/3", "2/3"}) {
        ASSERT_EQ(Run({"--shard", shard, "--log", "log", "in", "out"}).exitStatus, 0);
        for (const std::string& line : Lines(ReadFile(scratch / "log"))) {
            EXPECT_NE(line.find("\tconverted\t"), std::string::npos) << line;
            EXPECT_TRUE(converted.insert(line.substr(0, line.find('\t'))).second) << line;
        }
    }
    EXPECT_EQ(converted, all);
}

// The stalled images' data files are FIFOs that give nothing: their
// conversions wait, grids made, until the signal comes: from kill to the
// batch alone, or as Ctrl-C typed at a terminal to all of them.
TEST_F(Batch, InterruptedBatchLeavesNoUnfinishedGrid) {
    const std::string stall = "rm in/a.img in/b.img; mkfifo in/a.img in/b.img; exec 3<>in/a.img 4<>in/b.img\n";
    const std::string started = "for wait in $(seq 2000); do [ -d out/a ] && [ -d out/b ] && break; sleep 0.01; done; sleep 0.2\n";
    const std::string run = ShellWord(batch) + " -j 2 in out";
    for (const std::string signal : {"TERM", "INT", "HUP", "Ctrl-C"}) {
        SCOPED_TRACE(signal);
        fs::remove_all(scratch / "in");
        fs::remove_all(scratch / "out");
        for (const char* name : {"in/a", "in/b", "in/c", "in/d"}) Image(name);
        const std::string interrupt =
            signal == "Ctrl-C"
                ? "(" + started + "printf '\\003'; sleep 1) | timeout 20 script -qec " + ShellWord(run) + " /dev/null >&2"
                // A shell starts a command in the background with SIGINT ignored.
                : "env --default-signal=INT " + run + " & run=$!\n"
                  "(sleep 20; pkill -9 -P $run; kill -9 $run) 2>/dev/null & watchdog=$!\n" + started +
                  "kill -" + signal + " $run; wait $run; status=$?; kill $watchdog; exit $status";
        const ProcessResult result = RunShell(stall + interrupt, scratch.Path());
        EXPECT_EQ(result.exitStatus, 130);
        for (const char* line : {"in/a: status 130: Conversion interrupted", "in/b: status 130: Conversion interrupted",
                                 "cellport-batch: 0 converted, 0 kept, 2 failed, 2 not started (interrupted)"})
            EXPECT_NE(result.standardError.find(line), std::string::npos) << result.standardError;
        EXPECT_EQ(FolderListing(scratch / "out"), std::vector<std::string>{});
    }
}

TEST_F(Batch, ProgressLineOnlyOnATerminal) {
    Image("in/a");
    const std::string command = ShellWord(batch) + " in out";
    const std::string underTerminal = "script -qec " + ShellWord(command) + " /dev/null";
    const ProcessResult shown = RunShell(underTerminal, scratch.Path());
    EXPECT_NE(shown.standardOutput.find("\r\033[K0/1 done, 0 failed, 0:00 elapsed"), std::string::npos) << shown.standardOutput;
    fs::remove_all(scratch / "out");
    const ProcessResult quiet = RunShell("script -qec " + ShellWord(command + " --quiet") + " /dev/null", scratch.Path());
    EXPECT_EQ(quiet.standardOutput, "");
    fs::remove_all(scratch / "out");
    const ProcessResult plain = RunShell(command, scratch.Path());
    EXPECT_EQ(plain.standardError, "cellport-batch: 1 converted, 0 kept, 0 failed\n");
}

// A non-empty file under the name is a finished grid; an empty one, alone
// or with its temporary file, a killed run's; anything else is in the way.
TEST_F(Batch, TifGridPlaces) {
    for (const char* name : {"in/kept", "in/killed", "in/alone", "in/folder", "in/partial", "in/link"}) Image(name);
    Folder("out/folder.tif");
    WriteFile(scratch / "out/kept.tif", "finished");
    WriteFile(scratch / "out/killed.tif", "");
    WriteFile(scratch / "out/killed.tif.partial", "half");
    WriteFile(scratch / "out/alone.tif", "");
    WriteFile(scratch / "out/partial.tif.partial", "whose?");
    fs::create_symlink("kept.tif", scratch / "out/link.tif");
    const ProcessResult run = Run({"--tif", "--log", "log", "in", "out"});
    EXPECT_EQ(run.exitStatus, 1);
    const std::set<std::string> outcomes = Lines(ReadFile(scratch / "log"));
    for (const char* expected : {"in/kept\tout/kept.tif\tkept\t\t", "in/killed\tout/killed.tif\tconverted\t0\t",
                                 "in/alone\tout/alone.tif\tconverted\t0\t",
                                 "in/folder\tout/folder.tif\tfailed\t\tout/folder.tif is in the way: neither a grid nor what a killed run leaves",
                                 "in/partial\tout/partial.tif\tfailed\t\tout/partial.tif.partial is in the way: neither a grid nor what a killed run leaves",
                                 "in/link\tout/link.tif\tfailed\t\tout/link.tif is in the way: neither a grid nor what a killed run leaves"})
        EXPECT_TRUE(outcomes.contains(expected)) << expected;
    EXPECT_EQ(ReadFile(scratch / "out/kept.tif"), "finished");
    EXPECT_EQ(ReadFile(scratch / "out/partial.tif.partial"), "whose?");
    EXPECT_FALSE(fs::exists(scratch / "out/killed.tif.partial"));
}

TEST_F(Batch, CommandLines) {
    Image("in/a");
    const std::string makeImage = CELLPORT_MAKE_IMAGE;
    const std::vector<std::pair<std::vector<std::string>, int>> table = {
        {{batch, "--help"}, 0},
        {{batch, "in"}, 2},
        {{batch, "-j", "0", "in", "out"}, 2},
        {{batch, "-j", "0x2", "in", "out"}, 2},
        {{batch, "--shard", "3/3", "in", "out"}, 2},
        {{batch, "--shard", "1", "in", "out"}, 2},
        {{batch, "missing", "out"}, 1},
        {{batch, "-j", "1", "--shard", "0/1", "--quiet", "in", "out"}, 0},
        {{batch, "--srs", "nowhere", "--quiet", "in", "unplaced"}, 1},  // reaches the converters
        {{batch, "--cog", "--quiet", "in", "cogs"}, 0},
        {{makeImage, "--type", "byte", "--columns", "4", "--rows", "3", "--cell-size", "0x10", "img"}, 2},
        {{makeImage, "--type", "byte", "--columns", "4", "--rows", "3", "--min-x", "0x1p4", "img"}, 2},
        {{makeImage, "--type", "byte", "--columns", "4", "--rows", "3", "--cell-size", "1.5e1", "img"}, 0},
    };
    for (const auto& [arguments, status] : table) {
        const ProcessResult run = RunProcess(arguments, {}, scratch.Path());
        EXPECT_EQ(run.exitStatus, status) << arguments[1] << " " << arguments[2] << run.standardError;
        if (status == 2 && arguments[0] == batch) {
            EXPECT_NE(run.standardError.find("Usage"), std::string::npos) << run.standardError;
        }
    }
    // --cog names grids as --tif does, and their files say how they are laid out.
    EXPECT_NE(ReadFile(scratch / "cogs/a.tif").find("LAYOUT=IFDS_BEFORE_DATA"), std::string::npos);
}

}  // namespace
