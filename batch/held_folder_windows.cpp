#include "batch/held_folder.h"

#include <windows.h>

#include "platform/windows_text.h"

namespace {

std::string ErrorText(DWORD error) { return "Windows error " + std::to_string(error); }

// Held without sharing deletion, so that it is not renamed or removed while
// the batch puts grids in it; other runs may hold it the same way.
HANDLE OpenFolder(const std::wstring& path, bool followLink) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE folder = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    if (folder == INVALID_HANDLE_VALUE || (GetFileInformationByHandle(folder, &information) &&
                                           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                           (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0))
        return folder;
    CloseHandle(folder);
    SetLastError(ERROR_DIRECTORY);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        if (IsHeld()) CloseHandle(handle);
        handle = std::exchange(other.handle, mdgridio::noFolder);
    }
    return *this;
}

HeldFolder::~HeldFolder() {
    if (IsHeld()) CloseHandle(handle);
}

HeldFolder HoldFolder(const std::string& path, std::string& failure) {
    HeldFolder held(OpenFolder(platform::Utf16(path), true));
    if (!held.IsHeld()) failure = "cannot open the folder " + path + ": " + ErrorText(GetLastError());
    return held;
}

HeldFolder HoldSubfolder(mdgridio::FolderHandle parent, const std::string& name, const std::string& path, bool make,
                         std::string& failure) {
    const std::wstring wideName = platform::Utf16(name), parentPath = mdgridio::FolderPath(parent);
    if (wideName.empty() || parentPath.empty() || wideName.find_first_of(L"\\:") != std::wstring::npos) {
        failure = "cannot open the folder " + path + ": not a name Windows can hold";
        return HeldFolder();
    }
    const std::wstring whole = parentPath + L"\\" + wideName;
    HeldFolder held(OpenFolder(whole, false));
    DWORD error = GetLastError();
    // Another batch may make it at the same moment.
    if (make && !held.IsHeld() && error == ERROR_FILE_NOT_FOUND &&
        (CreateDirectoryW(whole.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)) {
        held = HeldFolder(OpenFolder(whole, false));
        error = GetLastError();
    }
    if (held.IsHeld()) return held;
    if (error == ERROR_DIRECTORY)
        failure = path + " is in the way: not a folder";
    else
        failure = (make ? "cannot make the folder " : "cannot open the folder ") + path + ": " + ErrorText(error);
    return held;
}
