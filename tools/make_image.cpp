// cellport-make-image: writes made-up images for tests, benchmarks and
// examples.
#include <cstdio>
#include <span>
#include <string>

#include "tools/image_patterns.h"
#include "tools/make_image_options.h"

namespace {

constexpr int exitSuccess = 0;
constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

}  // namespace

int main(int argc, char* argv[]) {
    const std::span<const char* const> arguments(argv + 1, static_cast<std::size_t>(argc - 1));
    const ParsedCommandLine commandLine = ParseMakeImageCommandLine(arguments);
    if (commandLine.outcome == ParseOutcome::HelpWanted) {
        PrintMakeImageUsage(stdout);
        return exitSuccess;
    }
    if (commandLine.outcome == ParseOutcome::Invalid) {
        std::fprintf(stderr, "cellport-make-image: %s\n", commandLine.problem.c_str());
        PrintMakeImageUsage(stderr);
        return exitUsage;
    }
    const MakeImageOptions& options = commandLine.options;
    const WriteStatus status =
        WritePatternImage(options.base, options.description, options.pattern);
    if (status == WriteStatus::Written) return exitSuccess;
    std::fprintf(stderr, "cellport-make-image: %s: %s\n", options.base.c_str(),
                 std::string(WriteStatusText(status)).c_str());
    return exitFailure;
}
