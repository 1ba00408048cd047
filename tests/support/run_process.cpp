#include "support/run_process.h"

#include <cstdlib>
#include <utility>

#include "support/scratch_folder.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

std::string ShellWord(const std::string& text) {
#ifdef _WIN32
    return "\"" + text + "\"";
#else
    std::string quoted = "'";
    for (char character : text) quoted += character == '\'' ? std::string("'\\''") : std::string(1, character);
    return quoted + "'";
#endif
}

ProcessResult RunShell(const std::string& commandLine, const std::filesystem::path& folder) {
    const ScratchFolder captured;
    const std::string output = ShellWord((captured / "out").string()), error = ShellWord((captured / "err").string());
#ifdef _WIN32
    // cmd drops the outermost pair of quotes of what it is given.
    const std::string line = "\"cd /d " + ShellWord(folder.string()) + " && " + commandLine;
    int status = std::system((line + " >" + output + " 2>" + error + "\"").c_str());
    // Wine's cmd now and then fails to start a program it found a moment
    // before (status 9009) when the machine is busy; the program never ran.
    for (int retry = 0; retry < 3 && status == 9009; ++retry)
        status = std::system((line + " >" + output + " 2>" + error + "\"").c_str());
#else
    const std::string line = "cd " + ShellWord(folder.string()) + " && (" + commandLine + ")";
    const int result = std::system((line + " >" + output + " 2>" + error).c_str());
    const int status = WIFEXITED(result) ? WEXITSTATUS(result) : WIFSIGNALED(result) ? 128 + WTERMSIG(result) : -1;
#endif
    ProcessResult run{status, ReadFile(captured / "out"), ReadFile(captured / "err")};
#ifdef _WIN32  // as text: CR LF as LF
    for (std::string* text : {&run.standardOutput, &run.standardError}) std::erase(*text, '\r');
#endif
    return run;
}

ProcessResult RunProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                         const std::filesystem::path& folder) {
#ifdef _WIN32
    // The program inherits them from here: cmd would take quotes in a value
    // for its own.
    std::vector<std::pair<std::string, std::string>> saved;
    for (const std::string& variable : environment) {
        const std::string name = variable.substr(0, variable.find('='));
        const char* old = std::getenv(name.c_str());
        saved.emplace_back(name, old ? old : "");
        _putenv_s(name.c_str(), variable.substr(name.size() + 1).c_str());
    }
    std::string line = ShellWord(std::filesystem::path(arguments.at(0)).make_preferred().string());
#else
    std::string line = "exec env -u LD_LIBRARY_PATH";
    for (const std::string& variable : environment) line.append(" ").append(ShellWord(variable));
    line.append(" ").append(ShellWord(arguments.at(0)));
#endif
    for (std::size_t at = 1; at < arguments.size(); ++at) line.append(" ").append(ShellWord(arguments[at]));
    const ProcessResult result = RunShell(line, folder);
#ifdef _WIN32
    for (const auto& [name, value] : saved) _putenv_s(name.c_str(), value.c_str());
#endif
    return result;
}
