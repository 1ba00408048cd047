// cellport-make-image: writes made-up images for tests, benchmarks and
// examples.
#include <cstdio>
#include <string>

#include "tools/image_patterns.h"
#include "tools/make_image_options.h"

namespace {

constexpr int exitSuccess = 0;
constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

}  // namespace

int main(int argc, char* argv[]) {
    const ParsedCommandLine commandLine = ParseMakeImageCommandLine(argc, argv);
    if (commandLine.outcome == ParseOutcome::HelpShown) return exitSuccess;
    if (commandLine.outcome == ParseOutcome::Invalid) return exitUsage;
    const MakeImageOptions& options = commandLine.options;
    const WriteStatus status =
        WritePatternImage(options.base, options.description, options.pattern);
    if (status == WriteStatus::Written) return exitSuccess;
    std::fprintf(stderr, "cellport-make-image: %s: %s\n", options.base.c_str(),
                 std::string(WriteStatusText(status)).c_str());
    return exitFailure;
}
