#include "batch/batch_options.h"

#include <CLI/CLI.hpp>

#include <charconv>

#include "platform/usable_cores.h"

namespace {

// More converters at once than this would run out of descriptors.
constexpr unsigned mostJobs = 1000;

bool ReadDecimal(std::string_view text, unsigned& value) {
    const char* const last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    return !text.empty() && error == std::errc() && end == last;
}

CLI::Validator JobCount(unsigned& jobs) {
    return CLI::Validator(
        [&jobs](std::string& text) {
            if (!ReadDecimal(text, jobs) || jobs < 1 || jobs > mostJobs)
                return text + " is not a whole number from 1 to " + std::to_string(mostJobs);
            return std::string();
        },
        "");
}

CLI::Validator Shard(BatchOptions& options) {
    return CLI::Validator(
        [&options](std::string& text) {
            const std::size_t slash = text.find('/');
            if (slash == std::string::npos ||
                !ReadDecimal(std::string_view(text).substr(0, slash), options.shardIndex) ||
                !ReadDecimal(std::string_view(text).substr(slash + 1), options.shardCount) ||
                options.shardIndex >= options.shardCount)
                return text + " is not K/N with whole numbers 0 <= K < N";
            return std::string();
        },
        "");
}

}  // namespace

BatchParse ParseBatchCommandLine(int argc, const char* const* argv, BatchOptions& options) {
    CLI::App app(
        "Converts every image under IN_DIR (a .doc header in any letter case and its cells) into a grid at "
        "the same path under OUT_DIR, with the cellport beside this program. Grids already made are kept.",
        "cellport-batch");
    app.failure_message(CLI::FailureMessage::help);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    options.jobs = platform::UsableCores();
    std::string jobs, shard;
    app.add_option("-j,--jobs", jobs, "Conversions at once (default: the cores this process may use)")
        ->type_name("N")
        ->check(JobCount(options.jobs));
    app.add_option("--log", options.logFile, "Write a line per image: base, grid, outcome, status, message")
        ->type_name("FILE");
    app.add_option("--shard", shard, "Only the images whose path hashes to K modulo N")
        ->type_name("K/N")
        ->check(Shard(options));
    app.add_flag("--quiet", options.quiet, "No progress line and no summary");
    app.add_flag("--tif", options.tif, "Name each grid <path>.tif");
    app.add_flag("--cog", options.cog, "Make each grid a Cloud-Optimized GeoTIFF <path>.tif (implies --tif)");
    std::string srs;
    CLI::Option* srsOption =
        app.add_option("--srs", srs, "Coordinate system of every grid: EPSG:CODE, WKT, PROJJSON or +proj=")
            ->type_name("TEXT");
    app.add_option("IN_DIR", options.inDir, "Folder of images")->required();
    app.add_option("OUT_DIR", options.outDir, "Folder of grids, made if missing")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == static_cast<int>(CLI::ExitCodes::Success) ? BatchParse::HelpShown
                                                                              : BatchParse::Invalid;
    }
    if (srsOption->count() > 0) options.srs = srs;
    options.tif = options.tif || options.cog;
    if (options.inDir.empty() || options.outDir.empty()) {
        app.exit(CLI::ValidationError("IN_DIR and OUT_DIR must not be empty"));
        return BatchParse::Invalid;
    }
    return BatchParse::Ready;
}
