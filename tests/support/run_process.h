// Runs programs as a user would, through the system's command interpreter,
// and keeps what they print.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ProcessResult {
    // The exit status, or 128 + the signal that ended the process.
    int exitStatus = -1;
    // On Windows, CR LF line ends read as LF.
    std::string standardOutput;
    std::string standardError;
};

// Runs arguments[0] with the rest as its arguments, from `folder`, with the
// NAME=VALUE entries of `environment` added for it alone. LD_LIBRARY_PATH is
// never passed on, so the program finds the grid library its own way.
ProcessResult RunProcess(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::filesystem::path& folder);

// A command line for the system's shell (sh, or cmd on Windows), from `folder`.
ProcessResult RunShell(const std::string& commandLine, const std::filesystem::path& folder);

// One word for that shell, whatever it holds.
std::string ShellWord(const std::string& text);
