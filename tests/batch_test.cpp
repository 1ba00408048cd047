// cellport-batch over trees of images as users have them: clashing names,
// grids and leftovers from earlier runs, things of the user's in the way,
// names with any bytes. Whatever happens, nothing but the new grids and a
// killed run's leftovers may change.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
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

// How often each image is logged with that outcome.
std::map<std::string, int> Logged(const std::string& log, const std::string& outcome) {
    std::map<std::string, int> count;
    std::istringstream stream(log);
    for (std::string line; std::getline(stream, line);)
        if (line.find("\t" + outcome + "\t") != std::string::npos) ++count[line.substr(0, line.find('\t'))];
    return count;
}

class Batch : public testing::Test {
protected:
    void Image(const std::string& base, const std::string& cells = std::string(12, '\7'), int columns = 4, int rows = 3) {
        fs::create_directories((scratch / base).parent_path());
        const std::string x = std::to_string(columns), y = std::to_string(rows);
        WriteFile(scratch / (base + ".doc"), "data type : byte\nfile type : binary\ncolumns : " + x + "\nrows : " + y +
                                                 "\nmin. X : 0\nmax. X : " + x + "\nmin. Y : 0\nmax. Y : " + y + "\n");
        WriteFile(scratch / (base + ".img"), cells);
    }
    void Folder(const std::string& path) { fs::create_directories(scratch / path); }
    ProcessResult Run(const std::vector<std::string>& arguments) {
        std::vector<std::string> command{batch};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return RunProcess(command, {}, scratch.Path());
    }
    // A copy of cellport-batch in bin/, beside that converter (none when
    // empty): what it runs, and nothing else.
    std::string BatchBeside(const std::string& converter) {
        Folder("bin");
        fs::copy_file(batch, scratch / "bin/cellport-batch");
        if (!converter.empty()) {
            WriteFile(scratch / "bin/cellport", converter);
            fs::permissions(scratch / "bin/cellport", fs::perms::owner_all);
        }
        return (scratch / "bin/cellport-batch").string();
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
    Image("images/corrupt\033[2J", "short");  // its name must not clear the terminal
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
    ASSERT_EQ(RunProcess({CELLPORT_PROGRAM, "images/done", "grids/done"}, {}, scratch.Path()).exitStatus, 0);
    Image("images/linked/x");  // its grid's folder is a link out of the grids' folder
    Folder("elsewhere/x");
    WriteFile(scratch / "elsewhere/x/cells.raw", "half");
    fs::create_directory_symlink("../elsewhere", scratch / "grids/linked");
    Image("images/damaged");  // a header over a short cell file
    fs::copy(scratch / "grids/done", scratch / "grids/damaged");
    fs::resize_file(scratch / "grids/damaged/cells.raw", 5);

    const Snapshot before = Snap(scratch.Path());
    const ProcessResult first = Run({"-j", "3", "--log", "log", "images", "grids"});
    EXPECT_EQ(first.exitStatus, 1);
    // Image, converter's status, message: on the terminal printable, in the log as they are.
    const std::vector<std::array<std::string, 3>> failed = {
        {"2020", "", "the grid's name is also the folder of other images' grids"},
        {"corrupt\033[2J", "1", "Could not read 4 bytes at 4 / f_read = '1'"},
        {"taken", "", "grids/taken is in the way: not a folder"},
        {"blocked", "", "grids/blocked is in the way: it holds notes.txt, which no grid has"},
        {"damaged", "", "grids/damaged is in the way: cells.raw holds 5 bytes where its header gives 48"},
        {"linked/x", "", "grids/linked is in the way: not a folder"}};
    std::set<std::string> failures = {"cellport-batch: 9 converted, 1 kept, 6 failed"};
    std::set<std::string> log = {"images/done\tgrids/done\tkept\t\t"};
    for (const auto& [image, status, message] : failed) {
        const std::string shown = image == "corrupt\033[2J" ? "corrupt\\x1b[2J" : image;
        failures.insert("images/" + shown + ": " + (status.empty() ? "" : "status " + status + ": ") + message);
        log.insert("images/" + image + "\tgrids/" + image + "\tfailed\t" + status + "\t" + message);
    }
    EXPECT_EQ(Lines(first.standardError), failures) << first.standardError;
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
    const ProcessResult second = Run({"images", "grids"});
    EXPECT_EQ(second.exitStatus, 1);
    failures.erase("cellport-batch: 9 converted, 1 kept, 6 failed");
    failures.insert("cellport-batch: 0 converted, 10 kept, 6 failed");
    EXPECT_EQ(Lines(second.standardError), failures);
    EXPECT_EQ(Snap(scratch.Path()), after);
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

// A shard that lists after new images arrived still takes exactly its own
// old images, so one round of shards converts every image once.
TEST_F(Batch, ShardsKeepTheirImagesWhileImagesArrive) {
    const auto images = [&](int from, int to) {
        for (int image = from; image < to; ++image) Image("in/" + std::to_string(image % 3) + "/" + std::to_string(image));
    };
    const auto shards = [&](const std::vector<std::string>& which) {
        for (const std::string& shard : which)
            EXPECT_EQ(Run({"--shard", shard, "--log", "log", "in", "out"}).exitStatus, 0);
        return Logged(ReadFile(scratch / "log"), "converted");
    };
    images(0, 12);
    shards({"0/3", "1/3"});
    images(12, 24);
    std::map<std::string, int> converted = shards({"2/3"});
    for (int image = 0; image < 12; ++image)
        EXPECT_EQ(converted["in/" + std::to_string(image % 3) + "/" + std::to_string(image)], 1) << image;
    converted = shards({"0/3", "1/3", "2/3"});
    EXPECT_EQ(converted.size(), 24u);
    for (const auto& [image, times] : converted) EXPECT_EQ(times, 1) << image;
}

// Two batches into one folder at once, then a third: every grid is whole and
// was converted by exactly one of them; the only failures are grids the other
// batch was writing, or had just cleared as a converter made it.
TEST_F(Batch, BatchesSharingAnOutputFolder) {
    constexpr int images = 40;
    for (int image = 0; image < images; ++image)
        Image("in/" + std::to_string(image), std::string(300 * 200, '\1'), 300, 200);
    const std::string run = ShellWord(batch) + " -j 2 --quiet in out --log ";
    EXPECT_EQ(RunShell(run + "log & " + run + "log & wait; " + run + "log", scratch.Path()).exitStatus, 0);
    const std::string log = ReadFile(scratch / "log");
    const std::map<std::string, int> converted = Logged(log, "converted");
    EXPECT_EQ(converted.size(), std::size_t{images});
    for (const auto& [image, times] : converted) EXPECT_EQ(times, 1) << image;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\tfailed\t") != std::string::npos) {
            EXPECT_TRUE(line.ends_with(" is being written by another run") ||
                        line.ends_with("\tCould not create output grid"))
                << line;
        }
    }
    const ProcessResult read = RunShell(
        "for grid in out/*; do [ $(stat -c %s $grid/cells.raw) = 240000 ] || echo $grid; "
        "gdalinfo -checksum $grid/cells.raw >/dev/null || echo $grid; done", scratch.Path());
    EXPECT_EQ(read.standardOutput + read.standardError, "");
}

// The stalled images' data files are FIFOs that give nothing: their
// conversions wait, grids made, until the batch is interrupted, however
// that comes. Each way, the converters are stopped and remove their grids,
// each is logged, and the batch ends with 130.
TEST_F(Batch, InterruptedBatchStopsItsConverters) {
    const std::string stall = "rm in/a.img in/b.img; mkfifo in/a.img in/b.img; exec 3<>in/a.img 4<>in/b.img\n";
    const std::string started =
        "for wait in $(seq 2000); do [ -d out/a ] && [ -d out/b ] && break; sleep 0.01; done; sleep 0.2\n";
    const std::string run = ShellWord(batch) + " -j 2 --log batch.log in out";
    const auto typed = [&](const std::string& key) {
        return "(" + started + "printf '" + key + "'; sleep 1) | timeout 20 script -qec " + ShellWord("exec " + run) +
               " /dev/null >&2";
    };
    const auto sent = [&](const std::string& signal) {
        // A shell starts a command in the background with SIGINT and SIGQUIT ignored.
        return "env --default-signal=INT,QUIT " + run + " & run=$!\n"
               "(sleep 20; pkill -9 -P $run; kill -9 $run) 2>/dev/null & watchdog=$!\n" + started +
               "kill -" + signal + " $run; wait $run; status=$?; kill $watchdog; exit $status";
    };
    // A converter that missed the terminal's Ctrl-C, as one being started may.
    const std::string deaf = "#!/bin/sh\ntrap '' INT\nmkdir \"$2\"\nsleep 60 >/dev/null 2>&1 & sleeping=$!\n"
                             "trap 'kill $sleeping; rmdir \"$2\"; echo Conversion interrupted; exit 130' TERM\nwait\n";
    const std::string deafBatch = ShellWord((scratch / "bin/cellport-batch").string()) + " -j 2 --log batch.log in out";
    const std::string deafRun =
        "(" + started + "printf '\\003'; sleep 1) | timeout 10 script -qec " + ShellWord("exec " + deafBatch) + " /dev/null >&2";
    struct Case {
        std::string name, interrupt;
        bool summary;  // on standard error
    };
    const std::vector<Case> cases = {
        {"TERM", sent("TERM"), true}, {"INT", sent("INT"), true}, {"HUP", sent("HUP"), true},
        {"QUIT", sent("QUIT"), true}, {"Ctrl-C", typed("\\003"), true}, {"Ctrl-\\", typed("\\034"), true},
        {"Ctrl-C, a converter starting", deafRun, true},
        // Its reader gone, the batch still stops, logs and reports by status.
        {"tee killed",
         "mkfifo err; tee copy <err >/dev/null & tee=$!\n" + run + " 2>err & run=$!\n" + started +
             "kill -9 $tee; kill -TERM $run; wait $run",
         false},
        // Leading its session, the batch alone gets the hangup; what the
        // converters hold open is none of the batch's.
        {"terminal closed",
         "mkfifo keys; exec 5<>keys; script -qfc " + ShellWord("exec " + run) +
             " /dev/null <keys >/dev/null 2>&1 & terminal=$!\n" +
             started + "batch=$(pgrep -P $terminal); converter=$(pgrep -P $batch | head -n 1)\n"
             "ls -l /proc/$converter/fd | grep batch.log >&2; kill -9 $terminal\n"
             "for wait in $(seq 100); do kill -0 $batch 2>/dev/null || exit 130; sleep 0.1; done\n"
             "pkill -9 -P $batch; kill -9 $batch; exit 1",
         false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        for (const char* folder : {"in", "out", "bin"}) fs::remove_all(scratch / folder);
        if (test.name.ends_with("starting")) BatchBeside(deaf);
        for (const char* name : {"in/a", "in/b", "in/c", "in/d"}) Image(name);
        WriteFile(scratch / "batch.log", "an earlier run's line\n");
        const ProcessResult result = RunShell(stall + test.interrupt, scratch.Path());
        EXPECT_EQ(result.exitStatus, 130);
        const std::string summary = "cellport-batch: 0 converted, 0 kept, 2 failed, 2 not started (interrupted)";
        EXPECT_EQ(result.standardError.find(summary) != std::string::npos, test.summary) << result.standardError;
        EXPECT_EQ(result.standardError.find("batch.log"), std::string::npos) << "a converter holds the log";
        const std::string log = ReadFile(scratch / "batch.log");
        EXPECT_EQ(Lines(log), (std::set<std::string>{"an earlier run's line",
                                                    "in/a\tout/a\tfailed\t130\tConversion interrupted",
                                                    "in/b\tout/b\tfailed\t130\tConversion interrupted"}));
        EXPECT_TRUE(log.starts_with("an earlier run's line\n"));
        EXPECT_EQ(FolderListing(scratch / "out"), std::vector<std::string>{});
    }
}

// Held back and pending when the batch starts, as one that came while it
// listed the images: no conversion starts, none is logged.
TEST_F(Batch, InterruptBeforeTheFirstConversionStartsNone) {
    Image("in/a");
    const std::string pending = "sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGTERM)); kill(q(TERM), $$); exec @ARGV";
    const ProcessResult run =
        RunProcess({"perl", "-MPOSIX", "-e", pending, batch, "--log", "log", "in", "out"}, {}, scratch.Path());
    EXPECT_EQ(run.exitStatus, 130);
    EXPECT_EQ(run.standardError, "cellport-batch: 0 converted, 0 kept, 0 failed, 1 not started (interrupted)\n");
    EXPECT_EQ(ReadFile(scratch / "log"), "");
}

// No grid library, or no converter that can start: every image would fail
// alike, so the batch says so once and stops.
TEST_F(Batch, FailureOfEveryImageStopsTheBatch) {
    const std::string converter = ReadFile(CELLPORT_PROGRAM);  // without its grid library beside it
    const std::vector<std::pair<std::string, std::string>> cases = {
        {converter, "no image can be converted: Could not load MDGRIDIO.DLL / "
                    "Please make sure the Mapdesk BIN32 directory is in the path."},
        {"#!/nowhere/sh\n", "no image can be converted: cannot start " + (scratch / "bin/cellport").string() +
                                ": No such file or directory"}};
    for (const auto& [program, message] : cases) {
        for (const char* name : {"in/a", "in/b", "in/c"}) Image(name);
        fs::remove_all(scratch / "bin");
        const ProcessResult run = RunProcess({BatchBeside(program), "-j", "1", "in", "out"}, {}, scratch.Path());
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.standardError,
                  "cellport-batch: " + message + "\ncellport-batch: 0 converted, 0 kept, 1 failed, 2 not started\n");
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
    // With nowhere to print, the failure and the summary go nowhere, not into
    // the log; a SIGCHLD ignored by the parent (perl passes that on) hides no
    // converter's status.
    Image("in/b", "short");
    const std::set<std::string> logged = {"in/a\tout/a\tkept\t\t",
                                          "in/b\tout/b\tfailed\t1\tCould not read 4 bytes at 4 / f_read = '1'"};
    const std::string ignoringChildren = "perl -e '$SIG{CHLD} = q(IGNORE); exec @ARGV' ";
    for (const std::string& how : {command + " --log log >&- 2>&-", ignoringChildren + command + " --log log"}) {
        fs::remove(scratch / "log");
        EXPECT_EQ(RunShell(how, scratch.Path()).exitStatus, 1) << how;
        EXPECT_EQ(Lines(ReadFile(scratch / "log")), logged) << how;
    }
}

// A folder of a grid's path swapped for a link as its converter starts
// does not lead the grid out of the grids' folder.
TEST_F(Batch, ConverterWritesIntoTheFolderHeldForIt) {
    Image("in/sub/x");
    Folder("elsewhere");
    const std::string out = ShellWord((scratch / "out").string());
    BatchBeside("#!/bin/sh\nmv " + out + "/sub " + out + "/moved && ln -s ../elsewhere " + out + "/sub\nexec " +
                ShellWord((scratch / "bin/cellport.real").string()) + " \"$@\"\n");
    const fs::path built = fs::path(CELLPORT_PROGRAM).parent_path();
    fs::copy_file(CELLPORT_PROGRAM, scratch / "bin/cellport.real");
    fs::copy_file(built / "libmdgridio.so", scratch / "bin/libmdgridio.so");
    const ProcessResult run = RunProcess({(scratch / "bin/cellport-batch").string(), "in", "out"}, {}, scratch.Path());
    EXPECT_EQ(run.standardError, "in/sub/x: status 0: out/sub is in the way: not a folder\n"
                                 "cellport-batch: 0 converted, 0 kept, 1 failed\n");
    EXPECT_EQ(FolderListing(scratch / "elsewhere"), std::vector<std::string>{});
    EXPECT_TRUE(fs::exists(scratch / "out/moved/x/cells.hdr"));
}

// A GeoTIFF is kept only when the grid library wrote it whole; which
// layout a grid has follows from its name alone, --tif or not.
TEST_F(Batch, TifGridPlaces) {
#ifndef CELLPORT_GEOTIFF
    GTEST_SKIP() << "no GeoTIFF module";
#endif
    for (const char* name :
         {"in/kept", "in/foreign", "in/killed", "in/alone", "in/folder", "in/partial", "in/link", "scans/scan.tif"})
        Image(name);
    Folder("out/folder.tif");
    ASSERT_EQ(RunProcess({CELLPORT_PROGRAM, "in/kept", "out/kept.tif"}, {}, scratch.Path()).exitStatus, 0);
    WriteFile(scratch / "out/foreign.tif", "a picture of the user's");
    WriteFile(scratch / "out/killed.tif", "");
    WriteFile(scratch / "out/killed.tif.partial", "half");
    WriteFile(scratch / "out/alone.tif", "");
    WriteFile(scratch / "out/partial.tif.partial", "whose?");
    fs::create_symlink("kept.tif", scratch / "out/link.tif");
    const Snapshot before = Snap(scratch / "out");
    EXPECT_EQ(Run({"--tif", "--log", "log", "in", "out"}).exitStatus, 1);
    EXPECT_EQ(Lines(ReadFile(scratch / "log")),
              (std::set<std::string>{"in/kept\tout/kept.tif\tkept\t\t", "in/killed\tout/killed.tif\tconverted\t0\t",
                                     "in/alone\tout/alone.tif\tconverted\t0\t",
                                     "in/foreign\tout/foreign.tif\tfailed\t\tout/foreign.tif is in the way: not a whole GeoTIFF written by this library",
                                     "in/folder\tout/folder.tif\tfailed\t\tout/folder.tif is in the way: not a regular file",
                                     "in/partial\tout/partial.tif\tfailed\t\tout/partial.tif.partial is in the way: a temporary file without its grid's placeholder",
                                     "in/link\tout/link.tif\tfailed\t\tout/link.tif is in the way: not a regular file"}));
    for (const char* untouched : {"kept.tif", "foreign.tif", "partial.tif.partial", "link.tif"})
        EXPECT_EQ(Snap(scratch / "out")[untouched], before.at(untouched)) << untouched;
    EXPECT_FALSE(fs::exists(scratch / "out/killed.tif.partial"));
    // scan.tif.doc: the GeoTIFF scan.tif, or with --tif scan.tif.tif; kept by a rerun.
    for (const std::string grid : {"scan.tif", "scan.tif.tif"}) {
        std::vector<std::string> arguments = {"--log", "scans.log", "scans", "scans"};
        if (grid.ends_with(".tif.tif")) arguments.insert(arguments.begin(), "--tif");
        for (const char* outcome : {"\tconverted\t0", "\tkept\t"}) {
            EXPECT_EQ(Run(arguments).exitStatus, 0);
            const std::string log = ReadFile(scratch / "scans.log");
            EXPECT_NE(log.find("scans/" + grid + outcome), std::string::npos) << grid << outcome << log;
        }
    }
}

TEST_F(Batch, CommandLines) {
    Image("in/a");
    const std::string makeImage = CELLPORT_MAKE_IMAGE;
    std::vector<std::pair<std::vector<std::string>, int>> table = {
        {{batch, "--help"}, 0},
        {{batch, "in"}, 2},
        {{batch, "-j", "0", "in", "out"}, 2},
        {{batch, "-j", "0x2", "in", "out"}, 2},
        {{batch, "--shard", "3/3", "in", "out"}, 2},
        {{batch, "--shard", "1", "in", "out"}, 2},
        {{batch, "missing", "out"}, 1},
        {{batch, "-j", "1", "--shard", "0/1", "--quiet", "in", "out"}, 0},
        {{batch, "--srs", "nowhere", "--quiet", "in", "unplaced"}, 1},  // reaches the converters
        // A log that is a FIFO nobody reads: refused, not waited for unkillably.
        {{"timeout", "-s", "KILL", "5", "sh", "-c", "mkfifo fifo && exec " + ShellWord(batch) + " --log fifo in out"}, 1},
        {{batch, "--cog", "--quiet", "in", "cogs"}, 0},
        {{makeImage, "--type", "byte", "--columns", "4", "--rows", "3", "--cell-size", "0x10", "img"}, 2},
        {{makeImage, "--type", "byte", "--columns", "4", "--rows", "3", "--min-x", "0x1p4", "img"}, 2},
        {{makeImage, "--type", "byte", "--columns", "4", "--rows", "3", "--cell-size", "1.5e1", "img"}, 0},
    };
    // Not knowing where it is itself (no /proc), it runs no cellport at all.
    WriteFile(scratch / "cellport", "#!/bin/sh\ntouch ran\n");
    fs::permissions(scratch / "cellport", fs::perms::owner_all);
#ifndef __SANITIZE_ADDRESS__  // whose runtime needs /proc too
    if (geteuid() == 0)
        table.push_back({{"unshare", "-m", "--propagation", "private", "sh", "-c",
                          "mount -t tmpfs none /proc && exec " + ShellWord(batch) + " in out"}, 2});
#endif
    for (const auto& [arguments, status] : table) {
        const ProcessResult run = RunProcess(arguments, {}, scratch.Path());
        EXPECT_EQ(run.exitStatus, status) << arguments[1] << " " << arguments[2] << run.standardError;
        if (status == 2 && arguments[0] == batch) {
            EXPECT_NE(run.standardError.find("Usage"), std::string::npos) << run.standardError;
        }
    }
    // --cog names grids as --tif does, and their files say how they are laid out.
    EXPECT_NE(ReadFile(scratch / "cogs/a.tif").find("LAYOUT=IFDS_BEFORE_DATA"), std::string::npos);
    EXPECT_FALSE(fs::exists(scratch / "ran"));
}

}  // namespace
