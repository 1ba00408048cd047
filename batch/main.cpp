// cellport-batch: every image under a folder into a grid under another,
// with the converter installed beside this program.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "platform/interrupt_watch.h"

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
    std::error_code error;
    return fs::read_symlink("/proc/self/exe", error).parent_path() / "cellport";
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

int main(int argc, char* argv[]) {
    BatchOptions options;
    switch (ParseBatchCommandLine(argc, argv, options)) {
        case BatchParse::HelpShown: return exitConverted;
        case BatchParse::Invalid: return exitUsage;
        case BatchParse::Ready: break;
    }
    platform::WatchInterruptSignals();
    // The converters inherit these; each grid library reads them.
    if (options.srs && setenv("MDGRIDIO_SRS", options.srs->c_str(), 1) != 0) return Refuse("cannot set MDGRIDIO_SRS");
    if (options.cog && setenv("MDGRIDIO_GEOTIFF", "cog", 1) != 0) return Refuse("cannot set MDGRIDIO_GEOTIFF");
    const fs::path converter = ConverterBeside();
    if (access(converter.c_str(), X_OK) != 0) return Refuse("no converter at " + converter.string());
    std::error_code error;
    if (!fs::is_directory(options.inDir, error)) return Refuse(options.inDir + " is not a folder");
    fs::create_directories(options.outDir, error);
    if (error || !fs::is_directory(options.outDir, error))
        return Refuse("cannot make the folder " + options.outDir + (error ? ": " + error.message() : ""));
    std::ofstream log;
    if (!options.logFile.empty()) {
        log.open(options.logFile, std::ios::binary | std::ios::trunc);
        if (!log) return Refuse("cannot write the log " + options.logFile);
    }

    ImageListing listing = ListImages(options.inDir, FolderToSkip(options.inDir, options.outDir));
    for (const std::string& problem : listing.unreadableFolders) std::fprintf(stderr, "%s\n", problem.c_str());
    const GridLayout layout = options.tif ? GridLayout::TifFile : GridLayout::Folder;
    MarkClashes(listing.images, GridNameSuffix(layout), TemporarySuffixes(layout));
    const BatchPlan plan{converter.string(), options.inDir, options.outDir, layout, options.jobs,
                         ShardOf(listing.images, options.shardIndex, options.shardCount)};

    ProgressLine progress(!options.quiet && isatty(STDERR_FILENO) == 1);
    const BatchOutcome outcome = RunBatch(plan, progress);
    if (!options.quiet) std::fputs(SummaryLine(outcome.tally, outcome.interrupted).c_str(), stderr);
    const bool logWritten = options.logFile.empty() || WriteLog(log, outcome.results);
    if (!logWritten) Refuse("cannot write the log " + options.logFile);
    if (outcome.interrupted) return exitInterrupted;
    const bool allDone = outcome.tally.failed == 0 && listing.unreadableFolders.empty() && logWritten;
    return allDone ? exitConverted : exitSomeFailed;
}
