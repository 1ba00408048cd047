// Runs a program as a user would, and keeps what it printed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ProcessResult {
    // The exit status, or 128 + the signal that ended the process.
    int exitStatus = -1;
    std::string standardOutput;
    std::string standardError;
};

// `environment` adds NAME=VALUE entries to a copy of this process's
// environment, from which LD_LIBRARY_PATH and every FAKE_ variable are
// first removed.
ProcessResult RunProcess(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::filesystem::path& workingFolder);
