// Runs a program as a user would, and keeps what it printed.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

struct ProcessResult {
    // The exit status, or 128 + the signal that ended the process.
    int exitStatus = -1;
    // As text: on Windows, CR LF line ends read as LF.
    std::string standardOutput;
    std::string standardError;
};

struct ProcessSetup {
    // NAME=VALUE entries added to a copy of this process's environment, from
    // which LD_LIBRARY_PATH and every FAKE_ variable are first removed.
    std::vector<std::string> environment;
    std::filesystem::path workingFolder;
    // Largest file the process may write, in bytes (SIGXFSZ ignored, so a
    // write past it fails as on a full disk); negative for no limit. Windows
    // has no such limit: there a process given one is not started.
    long long fileSizeLimit = -1;
};

struct StartedProcess {
#ifdef _WIN32
    // Closed with the last copy.
    std::shared_ptr<void> handle;
#else
    pid_t id = -1;
#endif
    std::unique_ptr<ScratchFolder> captured;
};

StartedProcess StartProcess(const std::vector<std::string>& arguments, const ProcessSetup& setup);
ProcessResult FinishProcess(StartedProcess& process);

ProcessResult RunProcess(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::filesystem::path& workingFolder);
