// cellport-batch: every image under a folder into a grid under another,
// with the converter installed beside this program. (Its entry is
// batch_main.cpp.)
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "batch/batch_command.h"
#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "platform/interrupt_watch.h"
#include "platform/utf8_path.h"
#ifdef _WIN32
#include "platform/program_windows.h"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int exitConverted = 0;
constexpr int exitSomeFailed = 1;
constexpr int exitUsage = 2;
constexpr int exitInterrupted = 130;

int Refuse(const std::string& message) {
    std::fprintf(stderr, "cellport-batch: %s\n", message.c_str());
    return exitSomeFailed;
}

// Not whatever PATH finds: the converter of the same build or install.
fs::path ConverterBeside() {
#ifdef _WIN32
    return platform::OwnProgram().parent_path() / "cellport.exe";
#else
    std::error_code error;
    return fs::read_symlink("/proc/self/exe", error).parent_path() / "cellport";
#endif
}

// OUT_DIR strictly inside IN_DIR holds grids, not images.
std::optional<fs::path> FolderToSkip(const fs::path& inDir, const fs::path& outDir) {
    std::error_code error;
    if (fs::equivalent(inDir, outDir, error)) return std::nullopt;
    return outDir;
}

bool WriteLog(std::ofstream& log, const std::vector<ImageResult>& results) {
    for (const ImageResult& result : results) log << LogLine(result);
    log.flush();
    return log.good();
}

}  // namespace

int RunBatchCommand(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    BatchOptions options;
    switch (ParseBatchCommandLine(static_cast<int>(argv.size()), argv.data(), options)) {
        case BatchParse::HelpShown: return exitConverted;
        case BatchParse::Invalid: return exitUsage;
        case BatchParse::Ready: break;
    }
    platform::WatchInterruptSignals();
    const fs::path converter = ConverterBeside();
    std::error_code error;
#ifdef _WIN32
    if (!fs::is_regular_file(converter, error)) return Refuse("no converter at " + platform::Utf8Of(converter));
#else
    if (access(converter.c_str(), X_OK) != 0) return Refuse("no converter at " + converter.string());
#endif
    if (!fs::is_directory(platform::PathOf(options.inDir), error)) return Refuse(options.inDir + " is not a folder");
    fs::create_directories(platform::PathOf(options.outDir), error);
    if (error || !fs::is_directory(platform::PathOf(options.outDir), error))
        return Refuse("cannot make the folder " + options.outDir + (error ? ": " + error.message() : ""));
    std::ofstream log;
    if (!options.logFile.empty()) {
        log.open(platform::PathOf(options.logFile), std::ios::binary | std::ios::trunc);
        if (!log) return Refuse("cannot write the log " + options.logFile);
    }

    ImageListing listing = ListImages(platform::PathOf(options.inDir),
                                       FolderToSkip(platform::PathOf(options.inDir), platform::PathOf(options.outDir)));
    for (const std::string& problem : listing.unreadableFolders) std::fprintf(stderr, "%s\n", problem.c_str());
    const GridLayout layout = options.tif ? GridLayout::TifFile : GridLayout::Folder;
    MarkClashes(listing.images, GridNameSuffix(layout), TemporarySuffixes(layout));
    const BatchPlan plan{platform::Utf8Of(converter), options.inDir, options.outDir, layout, options.jobs,
                         ShardOf(listing.images, options.shardIndex, options.shardCount)};

#ifdef _WIN32
    ProgressLine progress(platform::PrepareProgressConsole() && !options.quiet);
#else
    ProgressLine progress(!options.quiet && isatty(STDERR_FILENO) == 1);
#endif
    const BatchOutcome outcome = RunBatch(plan, progress);
    if (!options.quiet) std::fputs(SummaryLine(outcome.tally, outcome.interrupted).c_str(), stderr);
    const bool logWritten = options.logFile.empty() || WriteLog(log, outcome.results);
    if (!logWritten) Refuse("cannot write the log " + options.logFile);
    if (outcome.interrupted) return exitInterrupted;
    const bool allDone = outcome.tally.failed == 0 && listing.unreadableFolders.empty() && logWritten;
    return allDone ? exitConverted : exitSomeFailed;
}
