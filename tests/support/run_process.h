// Runs programs as a user would, through the system's command interpreter,
// and keeps what they print.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The exit status, or 128 + the signal that ended the process; on Windows
// CR LF line ends read as LF.
struct ProcessResult {
    int exitStatus = -1;
    std::string standardOutput, standardError;
};

// Runs arguments[0] from `folder`, with NAME=VALUE entries added to its
// environment and without LD_LIBRARY_PATH, so that it finds its own library.
ProcessResult RunProcess(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::filesystem::path& folder);

// A command line for the system's shell (sh, or cmd on Windows), from `folder`.
ProcessResult RunShell(const std::string& commandLine, const std::filesystem::path& folder);

// One word for that shell, whatever it holds.
std::string ShellWord(const std::string& text);
