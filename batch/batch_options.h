// The command line of cellport-batch.
#pragma once

#include <optional>
#include <string>

struct BatchOptions {
    unsigned jobs = 1;
    std::string logFile;  // empty: no log
    unsigned shardIndex = 0;
    unsigned shardCount = 1;
    bool quiet = false;
    bool tif = false;
    bool cog = false;  // Cloud-Optimized GeoTIFFs; implies tif
    std::optional<std::string> srs;  // MDGRIDIO_SRS for every conversion
    std::string inDir;
    std::string outDir;
};

enum class BatchParse { Ready, HelpShown, Invalid };

// Prints the help, or what is wrong with the command line and the usage,
// itself.
BatchParse ParseBatchCommandLine(int argc, const char* const* argv, BatchOptions& options);
