#include "platform/shared_library.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace platform {

namespace {

// Text from a Windows call that answers the length it wrote or, when the
// buffer is too small, at least its size: the buffer grows until it all fits.
template <typename Fill>
std::string WholeText(Fill fill) {
    std::string text(MAX_PATH, '\0');
    while (text.size() <= 65536) {
        const DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
        if (length == 0) return {};
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(std::max<std::size_t>(length + 1, 2 * text.size()));
    }
    return {};
}

bool IsSeparator(char character) { return character == '\\' || character == '/'; }

// "C:\folder" or "\\server\share". "folder", "C:folder" and "\folder" all
// lean on the current folder or drive.
bool FullyQualified(const std::string& folder) {
    if (folder.size() >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1])) return true;
    return folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' &&
           IsSeparator(folder[2]);
}

std::vector<std::string> PathFolders() {
    const std::string path =
        WholeText([](char* buffer, DWORD size) { return GetEnvironmentVariableA("PATH", buffer, size); });
    std::vector<std::string> folders;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(';', start), path.size());
        std::string folder = path.substr(start, end - start);
        if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
            folder = folder.substr(1, folder.size() - 2);
        folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}

// Where Windows looks for a library, less the current folder: that is often
// a data folder, and a library planted there would run with the user's rights.
std::vector<std::string> SearchFolders() {
    const std::string program =
        WholeText([](char* buffer, DWORD size) { return GetModuleFileNameA(nullptr, buffer, size); });
    std::vector<std::string> folders = {
        program.substr(0, program.find_last_of("\\/") + 1),
        WholeText([](char* buffer, DWORD size) { return GetSystemDirectoryA(buffer, size); })};
    for (std::string& folder : PathFolders()) folders.push_back(std::move(folder));
    std::erase_if(folders, [](const std::string& folder) { return !FullyQualified(folder); });
    return folders;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// The first file of that name is the one loaded, as Windows would: one that
// is no library fails the load rather than letting a later folder's through.
LibraryHandle LoadLibraryByBareName(const char* bareName) {
    const std::string fileName = std::string(bareName) + ".dll";
    for (const std::string& folder : SearchFolders()) {
        const std::string path = folder + (IsSeparator(folder.back()) ? "" : "\\") + fileName;
        if (IsFile(path))
            return reinterpret_cast<LibraryHandle>(
                LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }
    return nullptr;
}

void* FindLibraryFunction(LibraryHandle library, const char* functionName) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), functionName));
}

void FreeLibraryHandle(LibraryHandle library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace platform
