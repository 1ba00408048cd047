#include "support/run_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>

#include "support/scratch_folder.h"

extern char** environ;

namespace {

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& added) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view variable(*entry);
        if (variable.starts_with("LD_LIBRARY_PATH=") || variable.starts_with("FAKE_")) continue;
        result.emplace_back(variable);
    }
    result.insert(result.end(), added.begin(), added.end());
    return result;
}

std::vector<char*> PointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& text : strings) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

[[noreturn]] void RunChild(std::vector<std::string> arguments, std::vector<std::string> environment,
                           const std::filesystem::path& workingFolder,
                           const std::filesystem::path& outputFile,
                           const std::filesystem::path& errorFile) {
    const int output = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int error = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (output < 0 || error < 0 || dup2(output, 1) < 0 || dup2(error, 2) < 0 ||
        chdir(workingFolder.c_str()) != 0)
        _exit(125);
    const std::vector<char*> argv = PointersTo(arguments);
    const std::vector<char*> envp = PointersTo(environment);
    execve(argv[0], argv.data(), envp.data());
    _exit(126);
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::filesystem::path& workingFolder) {
    const ScratchFolder captured;
    const auto outputFile = captured / "stdout";
    const auto errorFile = captured / "stderr";
    std::vector<std::string> childEnvironment = ChildEnvironment(environment);
    const pid_t child = fork();
    if (child == 0) RunChild(arguments, childEnvironment, workingFolder, outputFile, errorFile);
    ProcessResult result;
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.standardOutput = ReadFile(outputFile);
    result.standardError = ReadFile(errorFile);
    return result;
}
