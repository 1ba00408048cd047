#include "platform/shared_library.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace platform {

namespace {

// Text from a Windows call that answers the length it wrote or, when the
// buffer is too small, at least its size: the buffer grows until it all fits.
template <typename Fill>
std::wstring WholeText(Fill fill) {
    std::wstring text(MAX_PATH, L'\0');
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

bool IsSeparator(wchar_t character) { return character == L'\\' || character == L'/'; }

bool IsDriveLetter(wchar_t character) {
    return (character >= L'A' && character <= L'Z') || (character >= L'a' && character <= L'z');
}

// "C:\folder" or "\\server\share". "folder", "C:folder" and "\folder" all
// lean on the current folder or drive.
bool FullyQualified(const std::wstring& folder) {
    if (folder.size() >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1])) return true;
    return folder.size() >= 3 && IsDriveLetter(folder[0]) && folder[1] == L':' &&
           IsSeparator(folder[2]);
}

std::vector<std::wstring> PathFolders() {
    const std::wstring path = WholeText(
        [](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(L"PATH", buffer, size); });
    std::vector<std::wstring> folders;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(L';', start), path.size());
        std::wstring folder = path.substr(start, end - start);
        if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"')
            folder = folder.substr(1, folder.size() - 2);
        folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}

// Where Windows looks for a library, less the current folder: that is often
// a data folder, and a library planted there would run with the user's rights.
// Wide throughout: a folder named outside the ANSI code page must be found.
std::vector<std::wstring> SearchFolders() {
    const std::wstring program = WholeText(
        [](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
    std::vector<std::wstring> folders = {
        program.substr(0, program.find_last_of(L"\\/") + 1),
        WholeText([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); })};
    for (std::wstring& folder : PathFolders()) folders.push_back(std::move(folder));
    std::erase_if(folders, [](const std::wstring& folder) { return !FullyQualified(folder); });
    return folders;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The machine a program file is built for, from its header; 0 when the file
// is no program file at all.
WORD MachineOfFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    IMAGE_DOS_HEADER start{};
    struct {
        DWORD signature;
        WORD machine;
    } header{};
    DWORD read = 0;
    const bool found =
        ReadFile(file, &start, sizeof start, &read, nullptr) && read == sizeof start &&
        start.e_magic == IMAGE_DOS_SIGNATURE &&
        SetFilePointer(file, start.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
        ReadFile(file, &header, 6, &read, nullptr) && read == 6 &&
        header.signature == IMAGE_NT_SIGNATURE;
    CloseHandle(file);
    return found ? header.machine : 0;
}

WORD MachineOfThisProgram() {
    const auto* program = reinterpret_cast<const std::uint8_t*>(GetModuleHandleW(nullptr));
    const auto* start = reinterpret_cast<const IMAGE_DOS_HEADER*>(program);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(program + start->e_lfanew)->FileHeader.Machine;
}

// A 32-bit library cannot load into a 64-bit program, nor the reverse.
bool IsForAnotherMachine(const std::wstring& path) {
    const WORD machine = MachineOfFile(path);
    return machine != 0 && machine != MachineOfThisProgram();
}

}  // namespace

// The first file of that name is the one loaded, as Windows would: one that
// is no library fails the load rather than letting a later folder's through.
// A library built for another machine is passed over, since it could never
// load here and a later folder may hold one that can.
LibraryHandle LoadLibraryByBareName(const char* bareName) {
    // The bare name is plain ASCII.
    const std::size_t length = std::strlen(bareName);
    const std::wstring fileName = std::wstring(bareName, bareName + length) + L".dll";
    for (const std::wstring& folder : SearchFolders()) {
        const std::wstring path = folder + (IsSeparator(folder.back()) ? L"" : L"\\") + fileName;
        if (IsFile(path) && !IsForAnotherMachine(path))
            return reinterpret_cast<LibraryHandle>(
                LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }
    return nullptr;
}

void* FindLibraryFunction(LibraryHandle library, const char* functionName) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), functionName));
}

void FreeLibraryHandle(LibraryHandle library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace platform
