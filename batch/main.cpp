// cellport-batch: every image under a folder into a grid under another,
// with the converter installed beside this program.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "image/printable_text.h"
#include "platform/interrupt_watch.h"

namespace fs = std::filesystem;

namespace {

constexpr int exitConverted = 0;
constexpr int exitSomeFailed = 1;
constexpr int exitUsage = 2;
constexpr int exitInterrupted = 130;

int Refuse(const std::string& message, int status = exitSomeFailed) {
    std::fprintf(stderr, "cellport-batch: %s\n", PrintableText(message).c_str());
    return status;
}

// Started with standard output or error closed, the batch would open its
// log or a folder under that number and print its lines into it.
void KeepStandardDescriptorsTaken() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor)
        if (fcntl(descriptor, F_GETFD) < 0 && errno == EBADF && open("/dev/null", O_RDWR) != descriptor) return;
}

// Not whatever PATH or the current folder offers: the converter of the same
// build or install, or none.
fs::path ConverterBeside(std::error_code& error) {
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path() / "cellport";
}

// OUT_DIR strictly inside IN_DIR holds grids, not images.
std::optional<fs::path> FolderToSkip(const fs::path& inDir, const fs::path& outDir) {
    std::error_code error;
    if (fs::equivalent(inDir, outDir, error)) return std::nullopt;
    return outDir;
}

}  // namespace

int main(int argc, char* argv[]) {
    KeepStandardDescriptorsTaken();
    BatchOptions options;
    switch (ParseBatchCommandLine(argc, argv, options)) {
        case BatchParse::HelpShown: return exitConverted;
        case BatchParse::Invalid: return exitUsage;
        case BatchParse::Ready: break;
    }
    platform::WatchInterruptSignals();
    std::error_code error;
    const fs::path converter = ConverterBeside(error);
    if (error)
        return Refuse("cannot tell where this program is, so not which cellport to run: " + error.message(), exitUsage);
    if (access(converter.c_str(), X_OK) != 0) return Refuse("no converter at " + converter.string());
    // The converters inherit these; each grid library reads them.
    if (options.srs && setenv("MDGRIDIO_SRS", options.srs->c_str(), 1) != 0) return Refuse("cannot set MDGRIDIO_SRS");
    if (options.cog && setenv("MDGRIDIO_GEOTIFF", "cog", 1) != 0) return Refuse("cannot set MDGRIDIO_GEOTIFF");
    if (!fs::is_directory(options.inDir, error)) return Refuse(options.inDir + " is not a folder");
    fs::create_directories(options.outDir, error);
    std::string failure = error ? "cannot make the folder " + options.outDir + ": " + error.message() : "";
    const HeldFolderDescriptor outDir = HoldFolder(options.outDir, failure);
    if (!failure.empty()) return Refuse(failure);
    BatchLog log;
    if (!options.logFile.empty() && !(failure = log.Open(options.logFile)).empty())
        return Refuse("cannot write the log " + options.logFile + ": " + failure);

    ImageListing listing = ListImages(options.inDir, FolderToSkip(options.inDir, options.outDir));
    for (const std::string& problem : listing.unreadableFolders)
        std::fprintf(stderr, "%s\n", PrintableText(problem).c_str());
    const std::string gridSuffix = options.tif ? ".tif" : "";
    MarkClashes(listing.images, gridSuffix);
    const BatchPlan plan{converter.string(), options.inDir, {outDir.Get(), options.outDir}, gridSuffix, options.jobs,
                         ShardOf(listing.images, options.shardIndex, options.shardCount)};

    ProgressLine progress(!options.quiet && isatty(STDERR_FILENO) == 1);
    const BatchOutcome outcome = RunBatch(plan, progress, log);
    if (!options.quiet) std::fputs(SummaryLine(outcome.tally, outcome.interrupted).c_str(), stderr);
    if (log.Failed()) Refuse("cannot write the log " + options.logFile);
    if (outcome.interrupted) return exitInterrupted;
    const bool allDone = outcome.tally.failed == 0 && listing.unreadableFolders.empty() && !log.Failed();
    return allDone && !outcome.stopped ? exitConverted : exitSomeFailed;
}
