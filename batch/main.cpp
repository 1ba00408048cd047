// cellport-batch: every image under a folder into a grid under another,
// with the converter installed beside this program. (Its entry is
// batch_main.cpp.)
#ifndef _WIN32
#include <fcntl.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "batch/batch_command.h"
#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "image/terminal_text.h"
#include "platform/interrupt_watch.h"
#include "platform/utf8_path.h"
#ifdef _WIN32
#include <windows.h>

#include "platform/program_windows.h"
#include "platform/windows_text.h"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int exitConverted = 0;
constexpr int exitSomeFailed = 1;
constexpr int exitUsage = 2;
constexpr int exitInterrupted = 130;

int Refuse(const std::string& message, int status = exitSomeFailed) {
    std::fprintf(stderr, "cellport-batch: %s\n", TerminalText(message).c_str());
    return status;
}

// For the converters, which inherit the batch's environment.
bool SetVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    const std::wstring wide = platform::Utf16(value);
    return (!wide.empty() || value.empty()) && SetEnvironmentVariableW(platform::Utf16(name).c_str(), wide.c_str()) != 0;
#else
    return setenv(name, value.c_str(), 1) == 0;
#endif
}

#ifndef _WIN32
// Started with standard output or error closed, the batch would open its
// log or a folder under that number and print its lines into it.
void KeepStandardDescriptorsTaken() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor)
        if (fcntl(descriptor, F_GETFD) < 0 && errno == EBADF && open("/dev/null", O_RDWR) != descriptor) return;
}
#endif

// Not whatever PATH or the current folder offers: the converter of the same
// build or install, or none.
fs::path ConverterBeside(std::error_code& error) {
#ifdef _WIN32
    const fs::path self = platform::OwnProgram();
    if (self.empty()) error = std::make_error_code(std::errc::no_such_file_or_directory);
    return self.empty() ? fs::path() : self.parent_path() / "cellport.exe";
#else
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path() / "cellport";
#endif
}

// OUT_DIR strictly inside IN_DIR holds grids, not images.
std::optional<fs::path> FolderToSkip(const fs::path& inDir, const fs::path& outDir) {
    std::error_code error;
    if (fs::equivalent(inDir, outDir, error)) return std::nullopt;
    return outDir;
}

}  // namespace

int RunBatchCommand(const std::vector<std::string>& arguments) {
#ifndef _WIN32
    KeepStandardDescriptorsTaken();
#endif
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    BatchOptions options;
    switch (ParseBatchCommandLine(static_cast<int>(argv.size()), argv.data(), options)) {
        case BatchParse::HelpShown: return exitConverted;
        case BatchParse::Invalid: return exitUsage;
        case BatchParse::Ready: break;
    }
    platform::WatchInterruptSignals();
    std::error_code error;
    const fs::path converter = ConverterBeside(error);
    if (error)
        return Refuse("cannot tell where this program is, so not which cellport to run: " + error.message(), exitUsage);
#ifdef _WIN32
    if (!fs::is_regular_file(converter, error)) return Refuse("no converter at " + platform::Utf8Of(converter));
#else
    if (access(converter.c_str(), X_OK) != 0) return Refuse("no converter at " + converter.string());
#endif
    // The converters inherit these; each grid library reads them.
    if (options.srs && !SetVariable("MDGRIDIO_SRS", *options.srs)) return Refuse("cannot set MDGRIDIO_SRS");
    if (options.cog && !SetVariable("MDGRIDIO_GEOTIFF", "cog")) return Refuse("cannot set MDGRIDIO_GEOTIFF");
    const fs::path inDir = platform::PathOf(options.inDir), outDirPath = platform::PathOf(options.outDir);
    if (!fs::is_directory(inDir, error)) return Refuse(options.inDir + " is not a folder");
    fs::create_directories(outDirPath, error);
    std::string failure = error ? "cannot make the folder " + options.outDir + ": " + error.message() : "";
    const HeldFolder heldOutDir = HoldFolder(options.outDir, failure);
    if (!failure.empty()) return Refuse(failure);
    const GridRoot outDir{heldOutDir.Get(), options.outDir};
    BatchLog log;
    if (!options.logFile.empty() && !(failure = log.Open(options.logFile)).empty())
        return Refuse("cannot write the log " + options.logFile + ": " + failure);

    ImageListing listing = ListImages(inDir, FolderToSkip(inDir, outDirPath));
    for (const std::string& problem : listing.unreadableFolders)
        std::fprintf(stderr, "%s\n", TerminalText(problem).c_str());
    const std::string gridSuffix = options.tif ? ".tif" : "";
    MarkClashes(listing.images, gridSuffix);
    const BatchPlan plan{platform::Utf8Of(converter), options.inDir, outDir, gridSuffix, options.jobs,
                         ShardOf(listing.images, options.shardIndex, options.shardCount)};

#ifdef _WIN32
    ProgressLine progress(platform::PrepareProgressConsole() && !options.quiet);
#else
    ProgressLine progress(!options.quiet && isatty(STDERR_FILENO) == 1);
#endif
    const BatchOutcome outcome = RunBatch(plan, progress, log);
    if (!options.quiet) std::fputs(SummaryLine(outcome.tally, outcome.interrupted).c_str(), stderr);
    if (log.Failed()) Refuse("cannot write the log " + options.logFile);
    if (outcome.interrupted) return exitInterrupted;
    const bool allDone = outcome.tally.failed == 0 && listing.unreadableFolders.empty() && !log.Failed();
    return allDone && !outcome.stopped ? exitConverted : exitSomeFailed;
}
