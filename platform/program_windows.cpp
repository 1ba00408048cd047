#include "platform/program_windows.h"

#include <windows.h>

#include <cstdlib>

#include "platform/windows_text.h"

namespace platform {

namespace {

UINT consoleCodePage = 0;

void RestoreConsole() { SetConsoleOutputCP(consoleCodePage); }

}  // namespace

std::vector<std::string> Utf8Arguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int at = 0; wide != nullptr && at < count; ++at) arguments.push_back(Utf8(wide[at]));
    LocalFree(wide);
    return arguments;
}

std::filesystem::path OwnProgram() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return std::filesystem::path(path.substr(0, length));
        path.resize(path.size() * 2);
    }
}

bool PrepareProgressConsole() {
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode)) return false;
    consoleCodePage = GetConsoleOutputCP();
    if (consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) std::atexit(RestoreConsole);
    return true;
}

std::string NameInUtf8(const std::filesystem::path& name) { return Utf8(name.native()); }

bool IsReparsePoint(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace platform
