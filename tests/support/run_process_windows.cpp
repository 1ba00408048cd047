#include "support/run_process.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

OwnedHandle InheritableFile(const std::filesystem::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE file = CreateFileA(path.string().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherited, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return OwnedHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// One argument as the C runtime splits it back out of the command line:
// backslashes are doubled only where a quote follows them.
std::string QuotedArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char character : argument) {
        if (character == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(character == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += character;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + '"';
}

std::string CommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        line += QuotedArgument(argument);
    }
    return line;
}

// Windows names variables regardless of case; "=C:" entries name drives.
std::string UpperName(std::string_view variable) {
    std::string name(variable.substr(0, variable.find('=', 1)));
    for (char& character : name)
        character = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
    return name;
}

bool LeftOut(std::string_view variable, const std::vector<std::string>& added) {
    const std::string name = UpperName(variable);
    if (name == "LD_LIBRARY_PATH" || name.starts_with("FAKE_")) return true;
    return std::any_of(added.begin(), added.end(),
                       [&](const std::string& setting) { return UpperName(setting) == name; });
}

// The parent's variables with the added ones in place of any of their
// names, sorted by name as CreateProcess expects.
std::string EnvironmentBlock(const std::vector<std::string>& added) {
    std::vector<std::string> variables = added;
    char* const parent = GetEnvironmentStringsA();
    for (const char* entry = parent; entry && *entry; entry += std::strlen(entry) + 1)
        if (!LeftOut(entry, added)) variables.emplace_back(entry);
    FreeEnvironmentStringsA(parent);
    std::stable_sort(variables.begin(), variables.end(),
                     [](const std::string& a, const std::string& b) { return UpperName(a) < UpperName(b); });
    std::string block;
    for (const std::string& variable : variables) block += variable + '\0';
    return block + '\0';
}

std::string AsText(std::string bytes) {
    std::size_t kept = 0;
    for (std::size_t at = 0; at < bytes.size(); ++at)
        if (bytes[at] != '\r' || at + 1 == bytes.size() || bytes[at + 1] != '\n') bytes[kept++] = bytes[at];
    bytes.resize(kept);
    return bytes;
}

}  // namespace

StartedProcess StartProcess(const std::vector<std::string>& arguments, const ProcessSetup& setup) {
    StartedProcess process;
    process.captured = std::make_unique<ScratchFolder>();
    const OwnedHandle input = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    const OwnedHandle output = InheritableFile(*process.captured / "stdout", GENERIC_WRITE, CREATE_ALWAYS);
    const OwnedHandle error = InheritableFile(*process.captured / "stderr", GENERIC_WRITE, CREATE_ALWAYS);
    if (arguments.empty() || setup.fileSizeLimit >= 0 || !input || !output || !error) return process;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = error.get();
    std::string commandLine = CommandLine(arguments);
    std::string environment = EnvironmentBlock(setup.environment);
    const std::string folder = setup.workingFolder.string();
    PROCESS_INFORMATION started{};
    // Wine, busy with many starts at once, now and then refuses one that a
    // second try gets.
    bool created = false;
    for (int attempt = 0; attempt < 3 && !created; ++attempt) {
        if (attempt > 0) Sleep(100);
        created = CreateProcessA(arguments[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                 environment.data(), folder.empty() ? nullptr : folder.c_str(), &startup,
                                 &started);
    }
    if (!created) return process;
    CloseHandle(started.hThread);
    process.handle = std::shared_ptr<void>(started.hProcess, HandleCloser());
    return process;
}

ProcessResult FinishProcess(StartedProcess& process) {
    ProcessResult result;
    DWORD exitCode = 0;
    if (!process.handle || WaitForSingleObject(process.handle.get(), INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.handle.get(), &exitCode))
        return result;
    result.exitStatus = static_cast<int>(exitCode);
    result.standardOutput = AsText(ReadFile(*process.captured / "stdout"));
    result.standardError = AsText(ReadFile(*process.captured / "stderr"));
    return result;
}
