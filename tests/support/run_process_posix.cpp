#include "support/run_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string_view>

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

bool LimitFileSize(long long limit) {
    if (limit < 0) return true;
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit fileSize{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    return setrlimit(RLIMIT_FSIZE, &fileSize) == 0;
}

[[noreturn]] void RunChild(std::vector<std::string> arguments, std::vector<std::string> environment,
                           const ProcessSetup& setup, const ScratchFolder& captured) {
    const int output = open((captured / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int error = open((captured / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (output < 0 || error < 0 || dup2(output, 1) < 0 || dup2(error, 2) < 0 ||
        chdir(setup.workingFolder.c_str()) != 0 || !LimitFileSize(setup.fileSizeLimit))
        _exit(125);
    const std::vector<char*> argv = PointersTo(arguments);
    const std::vector<char*> envp = PointersTo(environment);
    execve(argv[0], argv.data(), envp.data());
    _exit(126);
}

}  // namespace

StartedProcess StartProcess(const std::vector<std::string>& arguments, const ProcessSetup& setup) {
    StartedProcess process;
    process.captured = std::make_unique<ScratchFolder>();
    std::vector<std::string> environment = ChildEnvironment(setup.environment);
    process.id = fork();
    if (process.id == 0) RunChild(arguments, environment, setup, *process.captured);
    return process;
}

ProcessResult FinishProcess(StartedProcess& process) {
    ProcessResult result;
    int status = 0;
    if (process.id < 0 || waitpid(process.id, &status, 0) != process.id) return result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.standardOutput = ReadFile(*process.captured / "stdout");
    result.standardError = ReadFile(*process.captured / "stderr");
    return result;
}
